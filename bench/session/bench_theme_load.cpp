// The cost per link of a whole load (read, tidy, atomic rewrite, links, Combo1, caption,
// browsers) and per line of the tidying and the field reading alone, for growing files. The
// ratios of the per-line costs stay near 1 when the cost grows linearly.
#include "app/ClassicComboBox.h"
#include "support/Harness.h"
#include "themefile/ThemeLinks.h"
#include "themefile/ThemeTidy.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
// Lines of about 60 bytes; every other line is followed by an empty one, every tenth ends
// with a lone CR, so that tidying has work to do.
QByteArray untidyTheme(int lines)
{
    QByteArray bytes;
    for (int i = 1; i <= lines; ++i) {
        bytes += "http://site.example/articles/2026/01/03/page-" + QByteArray::number(i);
        bytes += i % 10 == 0 ? "\r" : "\r\n";
        if (i % 2 == 0)
            bytes += "\r\n";
    }
    return bytes;
}

// Median of `rounds` timings, in nanoseconds; `prepare` runs untimed before each.
double medianNs(int rounds, const std::function<void()>& prepare, const std::function<void()>& work)
{
    std::vector<qint64> times;
    for (int i = 0; i < rounds; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed());
    }
    std::sort(times.begin(), times.end());
    return double(times[times.size() / 2]);
}

void printRow(const char* what, int lines, double ns, double baseNsPerLine)
{
    const double perLine = ns / lines;
    std::printf("%-22s %7d lines  %12.1f us total  %9.1f ns/line  ratio %.2f\n", what, lines,
                ns / 1000.0, perLine, perLine / baseNsPerLine);
}

// `rewrite`: the file on disk is untidy, so every load replaces it (and waits for the disk);
// otherwise it is already tidy and the load only reads it.
void benchLoads(const char* what, bool rewrite)
{
    Harness h;
    h.start();
    double base = 0;
    std::vector<std::pair<int, double>> totals;
    for (const int links : {50, 200, 500}) {
        const QByteArray untidy = untidyTheme(links);
        const QByteArray bytes = rewrite ? untidy : ThemeTidy::tidy(untidy);
        const QString name = QStringLiteral("bench%1.qld").arg(links);
        h.write(name, bytes);
        const double ns = medianNs(
            101,
            [&] {
                if (rewrite)
                    h.write(name, bytes);
                h.browsers.calls.clear();
            },
            [&] { h.run([&h, &name] { h.m->theme().LoadThemeFile(h.path(name)); }); });
        if (h.m->theme().LinkCount() != links || h.read(name) != ThemeTidy::tidy(bytes))
            std::printf("unexpected load result: %d links\n", int(h.m->theme().LinkCount()));
        if (base == 0)
            base = ns / links;
        printRow(what, links, ns, base);
        totals.emplace_back(links, ns);
    }
    // A load has a fixed part (opening, the rewrite, the log line); what each further link
    // adds shows whether the rest grows linearly.
    const double first =
        (totals[1].second - totals[0].second) / (totals[1].first - totals[0].first);
    const double second =
        (totals[2].second - totals[1].second) / (totals[2].first - totals[1].first);
    std::printf("%-22s per added link: 50->200 %.1f ns, 200->500 %.1f ns, ratio %.2f; fixed "
                "part about %.1f us\n",
                what, first, second, second / first,
                (totals[0].second - first * totals[0].first) / 1000);
}

void benchPure(const char* what, const std::function<void(const QByteArray&)>& work)
{
    double base = 0;
    for (const int lines : {500, 5000, 50000}) {
        const QByteArray bytes = untidyTheme(lines);
        const double ns = medianNs(
            std::max(11, 2000000 / lines), [] {}, [&] { work(bytes); });
        if (base == 0)
            base = ns / lines;
        printRow(what, lines, ns, base);
    }
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("Median of repeated runs; ratio = cost per line / cost per line of the smallest "
                "file.\n");
    benchLoads("load, tidy file", false);
    benchLoads("load + rewrite", true);
    volatile qsizetype sink = 0;
    benchPure("ThemeTidy::tidy",
              [&](const QByteArray& bytes) { sink = sink + ThemeTidy::tidy(bytes).size(); });
    benchPure("ThemeLinks::read", [&](const QByteArray& bytes) {
        sink = sink + ThemeLinks::read(ThemeTidy::tidy(bytes), 1 << 30).links.size();
    });
    return 0;
}
