// SPDX-License-Identifier: MIT
// The funnel plot of one group (Spiegelhalter, Stat Med 2005;24:1185): each
// territory's rate in the reporting year against its population on a log
// scale, the region's rate as a line, and the 95 % and 99,8 % control
// limits about it as curves over the populations. A point is coloured by
// its class (red above the limits, blue below, grey within) and ringed
// where the territory is one of risk; its name is written beside it where
// there is room, a number otherwise, and the numbers are explained in a
// list under the plot. The same size, fonts and colours as the series'
// chart (chart.h); needs a QGuiApplication for fonts, and shows no window.
#pragma once

#include "stats/territory.h"
#include "summary/chart.h"

#include <QByteArray>
#include <QString>

#include <vector>

class QPainter;

namespace summary {

struct FunnelPoint {
    QString label; // the territory
    double population = 0; // in the reporting year
    double rate = 0; // per `per`
    stats::Funnel funnel = stats::Funnel::Within;
    bool risk = false;
};

struct FunnelInput {
    QString title; // the group's labels
    qint32 year = 0;
    double per = 100000;
    QString unit; // «на 100 тыс.»
    double regionRate = 0;
    double dispersion = 0; // φ, above 1 when the limits allow for it
    std::vector<FunnelPoint> points;
};

// The rate at which a territory of `population` leaves the limit of
// probability `tail` about `regionRate` (per `per`): 0.975 and 0.999 give
// the upper 95 % and 99,8 % limits, 0.025 and 0.001 the lower. Exact by
// Poisson, continuous in the count so that the curves are smooth, and
// where `dispersion` is above 1 widened to the normal limits by √φ, never
// narrower than the exact ones; never below 0. NaN without a population or
// a rate above 0.
double funnelLimit(
    double population, double regionRate, double per, double tail, double dispersion);

void drawFunnel(
    QPainter &painter, const FunnelInput &input, double width = Width, double height = Height);

// The plot as the bytes of an SVG or PNG file; empty if it could not be
// drawn. Safe to call from several threads at once.
QByteArray renderFunnel(ChartFormat format, const FunnelInput &input);

} // namespace summary
