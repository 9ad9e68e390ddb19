// main() of the window tests: `ui_tests CLASS [QTest arguments]` runs one test class, as
// QTEST_MAIN would in a program of its own.
#include <QApplication>
#include <QTest>
#include <cstdio>
#include <map>
#include <string>

#include "tests/support/qt_tests.h"

namespace geminor::test {
namespace {

std::map<std::string, QtTestMaker> &registry()
{
    static std::map<std::string, QtTestMaker> classes;
    return classes;
}

}  // namespace

bool AddQtTest(const char *name, QtTestMaker make)
{
    return registry().emplace(name, make).second;
}

}  // namespace geminor::test

int main(int argc, char **argv)
{
    const auto &classes = geminor::test::registry();
    const auto found = argc > 1 ? classes.find(argv[1]) : classes.end();
    if (found == classes.end()) {
        std::fprintf(stderr, "usage: %s CLASS [QTest arguments]; classes:\n", argv[0]);
        for (const auto &[name, make] : classes)
            std::fprintf(stderr, "  %s\n", name.c_str());
        return 2;
    }
    argv[1] = argv[0];  // QTest reads its own arguments after the program's name
    int args = argc - 1;
    QApplication app(args, argv + 1);
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    const auto test = found->second();
    return QTest::qExec(test.get(), args, argv + 1);
}
