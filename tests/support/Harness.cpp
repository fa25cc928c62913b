#include "support/Harness.h"

Harness::Harness(bool installed, const QString& folder)
    : SessionHarness(installed, folder), form(std::make_unique<Form1>(*m))
{}

void Harness::start()
{
    run([this] { form->Form_Load(); });
}
