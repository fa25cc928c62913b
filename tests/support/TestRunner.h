#pragma once

#include <QObject>

#include <memory>
#include <vector>

// Runs the test classes of one area from one executable. Test functions named on the command
// line go only to the classes that have them, so a single case can be run by hand; a class
// named there (KeptDocumentTest) runs whole. A class that names the case under way in its property
// "runningCase" ("function(row)", set in its init()) goes on after a case that let an exception
// escape, which QTest fails; any other class ends there.
int runTestClasses(int argc, char** argv, const std::vector<std::unique_ptr<QObject>>& tests);
