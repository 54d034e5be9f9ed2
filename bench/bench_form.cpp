// SPDX-License-Identifier: MIT
// Times the two moments where a long series is felt in the window:
//   - one "Ввод" with 30,000 values already shown,
//   - "Рассчитать" on the largest series the form takes (32,767 values),
//     until the report is painted;
// each beside the same work done with one QTextEdit::append per line, and
// checks that both ways leave the same text in the report area.
//
// Run by hand: build/bench/bench_form [--platform offscreen|xcb]. Under
// xvfb-run it paints into a real X server.
#include "calc/trendcore.h"
#include "form/trendform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void settle()
{
    QApplication::processEvents();
    QApplication::processEvents();
}

// Types `count` values into a visible form, the last one painted.
void fill(TTrendForm &form, int count)
{
    form.SubmitButton->click();
    for (int i = 0; i < count; ++i) {
        form.IncidenceEdit->setText(QString::number(100 + (i * 37) % 50) + QStringLiteral(".5"));
        form.SubmitButton->click();
    }
    settle();
}

// Milliseconds for one more value, typed and painted; median of `rounds`.
double submitMs(TTrendForm &form, int rounds)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        form.IncidenceEdit->setText(QStringLiteral("12.5"));
        QElapsedTimer t;
        t.start();
        form.SubmitButton->click();
        settle();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

double appendMs(TTrendForm &form, int rounds)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        form.ResultEdit->append(QStringLiteral("2005: 12.5"));
        settle();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("DISPLAY") && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("platform: %s\n", qPrintable(QApplication::platformName()));

    // One "Ввод" at 30,000 values shown.
    {
        TTrendForm form;
        form.show();
        fill(form, 30000);
        const double ours = submitMs(form, 41);
        TTrendForm plain;
        plain.show();
        fill(plain, 30000);
        const double append = appendMs(plain, 41);
        std::printf(
            "one value at 30000 shown: %.3f ms (one QTextEdit::append: %.3f ms)\n", ours, append);
    }

    // "Рассчитать" at the largest series.
    const int n = trend::MaxValues;
    TTrendForm form;
    form.show();
    fill(form, n);
    QElapsedTimer t;
    t.start();
    form.CalculateButton->click();
    settle();
    const double calcMs = double(t.nsecsElapsed()) / 1e6;

    // The same report, one QTextEdit::append per line.
    TTrendForm plain;
    plain.show();
    fill(plain, n);
    t.restart();
    const trend::TrendResult r = trend::calculate(plain.incidences, qint16(n));
    for (const trend::ReportLine &line : trend::calculationLines(r, plain.years))
        plain.ResultEdit->append(
            line.translatable ? TTrendForm::tr(line.text.toUtf8().constData()) : line.text);
    settle();
    const double appendCalcMs = double(t.nsecsElapsed()) / 1e6;

    const bool same = form.ResultEdit->toPlainText() == plain.ResultEdit->toPlainText();
    std::printf("calculate and show %d values: %.1f ms (QTextEdit::append per line: %.1f ms)\n", n,
        calcMs, appendCalcMs);
    std::printf("report text identical both ways: %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
