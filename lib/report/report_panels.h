#pragma once
// The page's panels, each in the box it is given (report_page.cpp lays them out).

#include "lib/report/chart_drawing.h"
#include "lib/report/report_page.h"

// Left margin of every time plot, so that their time axes line up.
constexpr double kAxisMargin = 78;

void DrawLinkPanel(cairo_t* cr, const Box& box, const ReportPage& page);
void DrawRatePanel(cairo_t* cr, const Box& box, const ReportPage& page);
void DrawTrackMap(cairo_t* cr, const Box& box, const ReportPage& page);
void DrawHeightPanel(cairo_t* cr, const Box& box, const ReportPage& page);
void DrawAnglesPanel(cairo_t* cr, const Box& box, const ReportPage& page);
