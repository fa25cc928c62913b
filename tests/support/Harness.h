#pragma once

#include "app/Form1.h"
#include "support/SessionHarness.h"

#include <memory>

// The whole program: the shared state of SessionHarness with the real toolbar window, which
// goes before the state that it shows.
class Harness : public SessionHarness
{
public:
    explicit Harness(bool installed = true, const QString& folder = QStringLiteral("Quillon2"));

    // Runs the start-up as the program does, through the handler wrapper.
    void start() override;

    std::unique_ptr<Form1> form;
};
