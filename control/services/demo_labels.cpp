#include "control/services/demo_labels.h"

#include "control/core/opos.h"

namespace quillon::control {
namespace {

constexpr DemoLabel kLabels[] = {
    {"4006381333931", opos::SCAN_SDT_EAN13, L"EAN-13"},
    {"036000291452", opos::SCAN_SDT_UPCA, L"UPC-A"},
    {"96385074", opos::SCAN_SDT_EAN8, L"EAN-8"},
    {"01234565", opos::SCAN_SDT_UPCE, L"UPC-E"},
    {"QUILLON-128", opos::SCAN_SDT_Code128, L"Code 128"},
    {"QUILLON39", opos::SCAN_SDT_Code39, L"Code 39"},
    {"00012345678905", opos::SCAN_SDT_TF, L"Interleaved 2 of 5"},
    {"0109501101530003", opos::SCAN_SDT_EAN128, L"GS1-128"},
    {"A40156B", opos::SCAN_SDT_Codabar, L"Codabar"},
    {"QUILLON93", opos::SCAN_SDT_Code93, L"Code 93"},
    {"0100012345678905", opos::SCAN_SDT_RSS14, L"GS1 DataBar"},
    {"QUILLON PDF417 SAMPLE", opos::SCAN_SDT_PDF417, L"PDF417"},
    {"QUILLON-DM-0001", opos::SCAN_SDT_DATAMATRIX, L"Data Matrix"},
    {"https://quillon.example/scan", opos::SCAN_SDT_QRCODE, L"QR Code"},
};

} // namespace

std::span<const DemoLabel> DemoLabels() { return kLabels; }

} // namespace quillon::control
