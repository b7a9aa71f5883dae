// The customer's site report: one row per device of both protocols in, one
// self-contained HTML page (inline styles, thumbnails as data: URIs, no
// script, no external reference, a print stylesheet) and a CSV of the same
// rows out. Every text of a row came from a device on the LAN and is
// hostile: invalid UTF-8 is replaced, control characters dropped, and each
// text escaped for its format (HTML: & < > " '; CSV: quotes, and a leading
// = + - @ or tab neutralised against spreadsheet formulas). A row has no
// field for a password or setup code, so none can reach a report. No Qt;
// thread-safe (no state outside each call).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace report {

// How the tool knows the device is the one it claims to be.
enum class Identity {
    Certified, // its key is certified by a trusted maker key
    Confirmed, // its key fingerprint was compared with its label
    Unverified,
};

// Whether what this session did to the device was read back.
enum class Verified { NotApplicable, Yes, No };

struct Row {
    std::string name, type, model;
    std::string macOrEndpoint; // the MAC, else an ONVIF camera's endpoint
    std::string address, mask, gateway, firmware;
    Identity identity = Identity::Unverified;
    std::string activation; // "activated", "not activated", or empty (no such state)
    std::string action;     // what this session did; empty: nothing
    Verified verified = Verified::NotApplicable;
    bool clockKnown = false;
    long long clockOffset = 0; // the device's clock minus this computer's, seconds
    std::string thumbnailJpeg; // empty: no picture
    int thumbnailWidth = 0, thumbnailHeight = 0;
    std::string snapshotNote; // why there is no picture, when there is none
};

struct Header {
    std::string site;    // the site name the installer gave
    std::string date;    // as it is to be shown, e.g. "2026-12-10 14:03 UTC"
    std::string pc;      // this computer's host name
    std::string version; // the tool's version
};

// The column titles and fixed words of a report, so that the window can
// write it in its language; English by default.
struct Labels {
    std::string title = "Site report";
    std::string site = "Site", date = "Date", pc = "PC", version = "Tool version";
    std::string devices = "Devices";
    std::string name = "Name", type = "Type", model = "Model", mac = "MAC or endpoint",
                address = "Address", mask = "Mask", gateway = "Gateway", firmware = "Firmware",
                identity = "Identity", activation = "Activation", action = "This session",
                verified = "Verified", clock = "Clock offset", snapshot = "Snapshot";
    std::string clockSeconds = "Clock offset (s)"; // the CSV's column: a number
    std::string certified = "certified", confirmed = "confirmed by fingerprint",
                unverified = "unverified";
    std::string nothing = "nothing", yes = "yes", no = "no";
    std::string seconds = "s";
};

// text as valid UTF-8 (each invalid sequence replaced by U+FFFD) without
// C0, DEL or C1 control characters (a tab becomes a space).
std::string CleanText(std::string_view text);

// CleanText(text) with & < > " ' as character references: safe in element
// content and in quoted attribute values alike.
std::string HtmlText(std::string_view text);

// One CSV field of CleanText(text) (RFC 4180 quoting); a text that a
// spreadsheet would take for a formula (starting with = + - @) gets a
// leading apostrophe.
std::string CsvField(std::string_view text);

// Standard base64 with padding.
std::string Base64(std::string_view bytes);

// A clock offset as a person reads it: "+3 s", "-1 min 2 s", "+2 h 5 min",
// "-4629 d 15 h" (unit: the word for seconds).
std::string OffsetText(long long offset, const std::string& unit = "s");

// The whole HTML page.
std::string Html(const Header& header, const std::vector<Row>& rows,
                 const Labels& labels = Labels());

// The CSV: a header line, then one line per row, CRLF line ends, UTF-8
// without byte order mark. The clock offset is a number of seconds (this
// tool's own, so never taken for a formula's guard). The thumbnail is not carried (a CSV holds no
// picture); the column says whether there is one, or the note why not.
std::string Csv(const std::vector<Row>& rows, const Labels& labels = Labels());

// The CSV's path beside the HTML's: the same path with ".html" or ".htm"
// replaced by ".csv", else with ".csv" appended.
std::string CsvPathFor(const std::string& htmlPath);

// Writes the HTML to htmlPath and the CSV to CsvPathFor(htmlPath), each
// through a temporary file renamed into place (a reader never sees half a
// report). False, with error naming the file and the reason, when either
// could not be written.
bool WriteReport(const std::string& htmlPath, const Header& header, const std::vector<Row>& rows,
                 std::string* error, const Labels& labels = Labels());

} // namespace report
