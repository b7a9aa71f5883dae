#include "Labels.h"

#include <qrencode.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

namespace devsim {
namespace {

constexpr int kModule = 6; // pixels per QR module
constexpr int kQuiet = 4;  // modules of quiet zone around the code
constexpr int kWidth = 520;
constexpr int kHeight = 240;

std::string FileMac(const lorvex::wire::MacBytes& mac) {
    std::string text = lorvex::wire::FormatMac(mac);
    for (char& c : text)
        c = c == ':' ? '-' : c;
    return text;
}

void Text(std::string& svg, int x, int y, int size, const std::string& text, bool bold = false) {
    svg += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
           "\" font-family=\"DejaVu Sans Mono, monospace\" font-size=\"" + std::to_string(size) +
           "\"" + (bold ? " font-weight=\"bold\"" : "") + ">" + XmlEscape(text) + "</text>\n";
}

// The QR code's dark modules as one path, its right edge at `right`.
bool QrPath(const std::string& content, int right, int y, std::string& svg) {
    std::unique_ptr<QRcode, void (*)(QRcode*)> qr(
        QRcode_encodeString8bit(content.c_str(), 0, QR_ECLEVEL_M), QRcode_free);
    if (!qr)
        return false;
    const int n = qr->width;
    const int side = (n + 2 * kQuiet) * kModule;
    const int x = right - side;
    svg += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
           std::to_string(side) + "\" height=\"" + std::to_string(side) + "\" fill=\"#fff\"/>\n";
    svg += "<path fill=\"#000\" d=\"";
    for (int row = 0; row < n; ++row)
        for (int col = 0; col < n; ++col)
            if (qr->data[row * n + col] & 1)
                svg += "M" + std::to_string(x + (col + kQuiet) * kModule) + " " +
                       std::to_string(y + (row + kQuiet) * kModule) + "h" +
                       std::to_string(kModule) + "v" + std::to_string(kModule) + "h-" +
                       std::to_string(kModule) + "z";
    svg += "\"/>\n";
    return true;
}

} // namespace

std::string LabelQrText(const Device& d) {
    return lorvex::wire::FormatMac(d.mac) + "," + d.setupCode;
}

std::string LabelSvg(const Device& d) {
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      std::to_string(kWidth) + "\" height=\"" + std::to_string(kHeight) +
                      "\" viewBox=\"0 0 " + std::to_string(kWidth) + " " + std::to_string(kHeight) +
                      "\">\n";
    svg += "<rect x=\"1\" y=\"1\" width=\"" + std::to_string(kWidth - 2) + "\" height=\"" +
           std::to_string(kHeight - 2) + "\" rx=\"10\" fill=\"#fff\" stroke=\"#000\"/>\n";
    const std::string fp = lorvex::trust::Fingerprint(d.keys.publicKey);
    Text(svg, 16, 34, 20, d.productModel, true);
    Text(svg, 16, 62, 14, "MAC " + lorvex::wire::FormatMac(d.mac));
    Text(svg, 16, 88, 12, "Key " + fp.substr(0, 19));
    Text(svg, 52, 106, 12, fp.substr(20));
    Text(svg, 16, 150, 14, "Setup code");
    Text(svg, 16, 182, 24, d.setupCode, true);
    if (!QrPath(LabelQrText(d), kWidth - 6, 6, svg))
        return {};
    return svg + "</svg>\n";
}

bool WriteLabels(const std::vector<Device>& devices, const std::string& dir, std::string* error) {
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        *error = "cannot make " + dir + ": " + std::strerror(errno);
        return false;
    }
    std::ofstream csv(dir + "/labels.csv");
    csv << "mac,setup_code\n";
    for (const Device& d : devices) {
        if (!SpeaksMakerProtocol(d))
            continue;
        const std::string svg = LabelSvg(d);
        std::ofstream out(dir + "/" + FileMac(d.mac) + ".svg");
        out << svg;
        csv << LabelQrText(d) << "\n";
        if (svg.empty() || !out.flush()) {
            *error = "cannot write the label of " + lorvex::wire::FormatMac(d.mac) + " in " + dir;
            return false;
        }
    }
    if (!csv.flush()) {
        *error = "cannot write " + dir + "/labels.csv";
        return false;
    }
    return true;
}

} // namespace devsim
