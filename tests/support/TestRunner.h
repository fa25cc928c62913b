#pragma once

#include <QObject>

#include <memory>
#include <vector>

// Runs the test classes of one area from one executable. Test functions named on the command
// line go only to the classes that have them, so a single case can be run by hand.
int runTestClasses(int argc, char** argv, const std::vector<std::unique_ptr<QObject>>& tests);
