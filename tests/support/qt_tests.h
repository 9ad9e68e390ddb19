#pragma once

#include <QObject>
#include <memory>

namespace geminor::test {

using QtTestMaker = std::unique_ptr<QObject> (*)();

/// Makes the test class `name` known to the program's main(), which runs the one named first
/// on its command line; CTest runs each class in a process of its own.
bool AddQtTest(const char *name, QtTestMaker make);

}  // namespace geminor::test

#define GEMINOR_QT_TEST(Class)                                                                               \
    namespace {                                                                                              \
    const bool registered##Class =                                                                           \
        geminor::test::AddQtTest(#Class, [] { return std::unique_ptr<QObject>(new Class); });                \
    }
