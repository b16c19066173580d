#pragma once

// The one QApplication of a widget test binary, on the offscreen platform
// unless the test is run under a display on purpose.

#include <QApplication>

#include <cstdlib>

namespace testsupport {

inline QApplication& QtTestApplication()
{
    static int argc = 1;
    static char name[] = "widget-test";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Never destroyed: Qt's own statics go first at exit, and an application
    // destroyed after them crashes.
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}

} // namespace testsupport
