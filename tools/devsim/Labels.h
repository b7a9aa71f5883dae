// The labels a maker prints on its devices, as the simulator writes them
// for tests and demos: one SVG per device with its MAC, model, key
// fingerprint and setup code, as text and as a QR code whose content is
// "MAC,CODE" (a barcode scanner typing labels into a text field gives one
// CSV row per label), and labels.csv with every device's MAC and code.

#pragma once

#include <string>
#include <vector>

#include "Device.h"

namespace devsim {

// The QR content of a device's label: "02:4C:56:00:00:01,ABCD-EFGH-JKMN".
std::string LabelQrText(const Device& d);

// The SVG of one device's label; empty when the QR code cannot be made.
std::string LabelSvg(const Device& d);

// Writes, into the folder `dir` (made when missing), MAC.svg (the MAC with
// '-' for ':') for every device that speaks the maker's protocol and
// labels.csv: the header "mac,setup_code", then one "MAC,CODE" line per such
// device in fleet order. False, with the reason in `error`, when a file
// cannot be written.
bool WriteLabels(const std::vector<Device>& devices, const std::string& dir, std::string* error);

} // namespace devsim
