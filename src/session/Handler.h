#pragma once

#include <functional>

class Module1;
class Failure;

// Every event handler runs through here. Qt cannot carry exceptions through its event loop,
// so a failure that no failure path caught ends the program after the generic report
// (number and description), with nothing logged.
void runHandler(Module1& m, const std::function<void()>& body);

[[noreturn]] void reportUnhandledFailure(Module1& m, const Failure& failure);
