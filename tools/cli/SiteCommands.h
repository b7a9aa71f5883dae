// lorvex-search's commands of an installer's day on cameras: snapshot (a
// camera's picture to a file), set-time (the clocks of many cameras, each
// offset before and after; ONVIF cameras and the maker's devices) and the
// rows of the site report (report's search is list's, in main.cpp).
// snapshot takes both protocols' cameras; the report's pictures take ONVIF
// cameras only for now.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "LorvexManage.h"
#include "OnvifCamera.h"
#include "OnvifCommands.h"
#include "Secret.h"
#include "SiteReport.h"

namespace site_cli {

// snapshot ENDPOINT --output FILE [--onvif] [--user NAME] [password options]
// [--seconds S]: the camera's picture as it came, written to FILE (through
// a temporary file: never half a picture). A MAC without --onvif names the
// maker's IP camera (device::RunSnapshot), anything else an ONVIF camera.
// Exit statuses of the outcome table: Done; NoDevice when not found;
// kBadPicture for a picture that is no sound JPEG and kPictureTooLarge for
// one past 4 MiB (nothing written either way); the camera's outcome for a
// call that failed; NotAllDone when FILE could not be written; UsageError
// for bad options.
int RunSnapshot(const cli::ParsedArgs& args);

// set-time [TARGET...] (--ntp HOST | --now) [--time-zone TZ] [--mac LIST]
// [--type CODE] [--subnet A/N] [--onvif] [--user NAME] [password options]
// [--seconds S]: the targets (named, then those of --mac) go by kind: an
// endpoint, or a MAC with --onvif, is an ONVIF camera, set several at once
// (SetDeviceClock); a MAC, or a device --type/--subnet select, is one of
// the maker's devices, set one at a time (CLorvexManage::SetClock, its
// offset read back from the answers of a new round). One line per device,
// the cameras first, each with its clock offset before and after. Done
// when every clock was set and read back within 3 s, NotAllDone when not,
// Interrupted when stopped (devices not reached say so), UsageError when
// refused before anything was sent.
int RunSetTime(const cli::ParsedArgs& args);

// What report took from one camera it logged in to.
struct CameraTake {
    bool clockKnown = false;
    long long clockOffset = 0;
    std::string thumbnail; // JPEG, at most snapshot::kThumbnailMaxBytes
    int width = 0, height = 0;
    std::string note; // why there is no thumbnail, when there is none
};

// Reads the clock (no log-in) and takes a thumbnail of every camera
// onvif_cli::NamedForLogin names that onvif::LoginAllowed lets be logged in
// to, several at once, each ending by deadline. Keyed by endpoint.
std::map<std::string, CameraTake> TakeCameras(const std::vector<onvif::CameraRecord>& cameras,
                                              const std::string& user, const SharedSecret& password,
                                              std::chrono::steady_clock::time_point deadline,
                                              const std::vector<std::string>& named, bool all);

// Takes a thumbnail of each of the maker's IP cameras among `devices`
// (CLorvexManage::TakeSnapshot through `manager`, whose search lists
// them, one at a time, each with `password`), keyed by MAC; a camera's
// note names the outcome when it gave none. Stops early when interrupted.
std::map<std::string, CameraTake> TakeMakerPictures(CLorvexManage& manager,
                                                    const std::vector<SEARCH_INFO>& devices,
                                                    const std::string& password);

// The report's rows of a listing: one per row of list, sorted as list's
// table is (by address as numbers, then MAC; no address last); a
// camera's texts from its record (never cut to a record field's width),
// its picture and clock from taken (a camera by its endpoint, the maker's
// camera by its MAC). Identity: "verified" is certified,
// "confirmed" is confirmed by fingerprint, anything else unverified. Nothing
// done this session: the action stays empty.
std::vector<report::Row> ReportRows(const onvif_cli::Listing& list,
                                    const std::vector<onvif::CameraRecord>& cameras,
                                    const std::map<std::string, CameraTake>& taken);

// The report's header: site, this computer's UTC time and host name, the
// tool's version.
report::Header ReportHeader(const std::string& site);

} // namespace site_cli
