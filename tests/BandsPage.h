#pragma once

#include <QColor>
#include <sstream>
#include <string>

namespace quorvel::test {

// The web page tests' page: 1280 wide and 6000 tall, six coloured bands of 1000 pixels,
// with `marker`, a black marker at its bottom left.
inline constexpr QRgb kBands[] = {qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(0, 0, 255),
                                  qRgb(255, 255, 0), qRgb(255, 0, 255), qRgb(0, 255, 255)};

inline std::string BandsPage(bool marker) {
    std::ostringstream page;
    page << "<!DOCTYPE html><html><head><title>Bands</title><style>body{margin:0}"
            "div{width:1280px;height:1000px}</style></head><body>";
    for (const QRgb c : kBands)
        page << "<div style='background:rgb(" << qRed(c) << ',' << qGreen(c) << ',' << qBlue(c)
             << ")'></div>";
    if (marker)
        page << "<span style='position:absolute;left:0;top:5960px;width:200px;height:40px;"
                "background:#000'></span>";
    page << "</body></html>";
    return page.str();
}

} // namespace quorvel::test
