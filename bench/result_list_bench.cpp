// The result list with 100,000 rows: loading, showing and each marking rule.
//   result_list_bench FOLDER   (any folder of at least 100,000 files, e.g. the "tenth" corpus)
#include <QApplication>
#include <QTableView>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

#include "results/keep_rules.h"
#include "results/marking.h"
#include "results/result_row.h"
#include "ui/result_model.h"

namespace {

template <typename F> double seconds(F f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: result_list_bench FOLDER\n");
        return 2;
    }
    std::vector<geminor::ResultEntry> entries;
    for (const auto &file : std::filesystem::recursive_directory_iterator(argv[1])) {
        if (!file.is_regular_file())
            continue;
        const auto n = static_cast<std::int32_t>(entries.size());
        struct stat st = {};  // as the walk would have seen it
        if (::lstat(file.path().c_str(), &st) != 0)
            continue;
        entries.push_back({geminor::IdentityOf(st), file.path().filename().string(),
                           file.path().parent_path().string() + '/', "N/A", n / 2 + 1});
        if (entries.size() == 100000)
            break;
    }
    geminor::ResultModel model;
    QTableView view;
    view.setModel(&model);
    view.resize(1000, 700);
    view.show();
    std::vector<geminor::ResultRow> rows;
    const double load = seconds([&] { rows = geminor::LoadResults(entries); });
    const double show = seconds([&] {
        model.setRows(std::move(rows));
        QApplication::processEvents();
    });
    std::printf("%zu rows: load %.3f s, into the list %.3f s\n", entries.size(), load, show);
    std::printf("Mark All Duplicates %.1f ms\n",
                1000 * seconds([&] { model.applyRule(geminor::MarkAllDuplicates); }));
    std::printf("Mark All %.1f ms\n", 1000 * seconds([&] { model.applyRule(geminor::MarkAll); }));
    std::printf("Mark None %.1f ms\n", 1000 * seconds([&] { model.applyRule(geminor::MarkNone); }));
    using namespace geminor;
    const std::vector<KeepCriterion> rules{{KeepRule::Newest, {}}, {KeepRule::ShortestPath, {}}};
    std::printf("Keep Newest, then Shortest Path %.1f ms\n",
                1000 * seconds([&] { model.applyRule([&](auto &r) { return KeepOne(r, rules); }); }));
    std::printf("Keep Path Not Matching *1* %.1f ms\n",
                1000 * seconds([&] {
                    model.applyRule([&](auto &r) { return KeepOne(r, {{KeepRule::NotPath, "*1*"}}); });
                }));
    std::printf("Invert Marks %.1f ms\n",
                1000 * seconds([&] { model.applyRule([](auto &r) { return InvertMarks(r); }); }));
    std::printf("Mark by Pattern *7* %.1f ms\n",
                1000 * seconds([&] { model.applyRule([](auto &r) { return MarkByPattern(r, "*7*"); }); }));
    std::printf("groups by space to reclaim %.1f ms\n", 1000 * seconds([&] {
                                                            model.arrange(GroupOrder::Space, {});
                                                            QApplication::processEvents();
                                                        }));
    std::printf("groups by name %.1f ms\n", 1000 * seconds([&] {
                                                model.arrange(GroupOrder::Name, {});
                                                QApplication::processEvents();
                                            }));
    std::printf("filter on a path text %.1f ms\n", 1000 * seconds([&] {
                                                       model.arrange(GroupOrder::Found, "77");
                                                       QApplication::processEvents();
                                                   }));
    model.arrange(GroupOrder::Found, {});
    // A check box ticked by hand, and the totals the window then shows.
    double click = 0;
    for (int i = 0; i < 100; ++i)
        click += seconds([&] {
            model.setData(model.index(i * 997, 0), Qt::Checked, Qt::CheckStateRole);
            (void)model.totals();
            QApplication::processEvents();
        });
    std::printf("a check box ticked, totals updated: %.3f ms each\n", 1000 * click / 100);
    const double scroll = seconds([&] {
        for (int i = 0; i < 200; ++i) {
            view.scrollTo(model.index(i * 499, 0));
            QApplication::processEvents();
        }
    });
    std::printf("200 jumps through the list: %.1f ms each\n", 1000 * scroll / 200);
    return 0;
}
