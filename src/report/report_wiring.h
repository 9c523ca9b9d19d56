// The commissioning report's wiring check: the check over the report's own reads of the network
// block and the equipment configuration, and its phasor diagram, drawn as the report's other charts
// are (inline SVG for the HTML document, a picture for the PDF).
#pragma once

#include <QImage>
#include <string>

#include "device/wiring_check.h"
#include "report/report_data.h"

// The check over the two reads (both read).
WiringCheck ReportWiringCheck(const ReportBlock& network, const ReportBlock& config, bool exports);

// What the diagram is drawn from, as a block of its own named "wiring": the network block's
// values and the CT primary. ChartSvg and ChartImage draw such a block as its phasors.
ReportBlock WiringChartBlock(const ReportBlock& network, const ReportBlock& config);

// The three voltages at their nominal angles (the sequence L1-L2-L3 assumed, and said), each
// current at its measured angle from its voltage, its length by its share of the largest.
std::string PhasorSvg(const ReportBlock& wiring);
QImage PhasorImage(const ReportBlock& wiring);
