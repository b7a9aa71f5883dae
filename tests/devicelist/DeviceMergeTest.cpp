// The one rule that makes one row per device of both searches, run as the
// window, list and watch feed it: every case a script of events and the
// rows it leaves. Each step must also fit the list it is applied to (a new
// row's key is free, a changed or removed row exists), so that no caller
// ever sees a row twice or a removal of nothing.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "DeviceMerge.h"
#include "SearchInfo.h"

namespace {

using devicelist::DeviceMerge;
using devicelist::MergeStep;

// The list as a caller keeps it: key to "m" (a maker's row, "m@E" with the
// joined endpoint E) or "c:E" (camera E's row).
struct List {
    std::map<std::string, std::string> rows;
    std::vector<std::string> faults;

    void Apply(const std::vector<MergeStep>& steps) {
        for (const MergeStep& s : steps) {
            const std::string value = s.camera             ? "c:" + s.endpoint
                                      : s.endpoint.empty() ? "m"
                                                           : "m@" + s.endpoint;
            const bool present = rows.count(s.key) != 0;
            if (s.event == SEARCH_EVENT_NEW && !present)
                rows[s.key] = value;
            else if (s.event == SEARCH_EVENT_CHANGED && present)
                rows[s.key] = value;
            else if (s.event == SEARCH_EVENT_GONE && present)
                rows.erase(s.key);
            else if (s.camera || s.event != SEARCH_EVENT_NEW) // the maker's repeated new is its own
                faults.push_back("event " + std::to_string(s.event) + " of " + s.key);
        }
    }
    std::string Shown() const {
        std::string out;
        for (const auto& row : rows)
            out += (out.empty() ? "" : " ") + row.first + "=" + row.second;
        return out;
    }
};

int Kind(char c) {
    return c == '+' ? SEARCH_EVENT_NEW : c == '~' ? SEARCH_EVENT_CHANGED : SEARCH_EVENT_GONE;
}

// Runs a script: "m+A" the maker's device A arrives ('~' changes, '-'
// goes); "c+e/A" camera e announcing MAC A ("c+e/" none); "c-e"; "tN" N
// seconds after the start, cameras due then get their rows; "clear".
std::string RunScript(const std::string& script, int graceMs, std::vector<std::string>* faults) {
    DeviceMerge merge{std::chrono::milliseconds(graceMs)};
    const DeviceMerge::Clock::time_point t0 = DeviceMerge::Clock::now();
    DeviceMerge::Clock::time_point now = t0;
    List list;
    std::istringstream in(script);
    std::string token;
    while (in >> token) {
        std::vector<MergeStep> steps;
        if (token == "clear") {
            merge.Clear();
            list.rows.clear();
        } else if (token[0] == 't') {
            now = t0 + std::chrono::seconds(std::stoi(token.substr(1)));
            merge.Due(now, &steps);
        } else if (token[0] == 'm') {
            merge.Maker(token.substr(2), Kind(token[1]), &steps);
        } else {
            const size_t slash = token.find('/');
            const std::string endpoint = token.substr(2, slash - 2);
            const std::string mac = slash == std::string::npos ? "" : token.substr(slash + 1);
            merge.Camera(endpoint, mac, Kind(token[1]), now, &steps);
        }
        list.Apply(steps);
    }
    *faults = list.faults;
    return list.Shown();
}

TEST(DeviceMerge, OneRowPerDeviceAcrossBothSearches) {
    struct Case {
        const char* name;
        int graceMs;
        const char* script;
        const char* shown;
    };
    const Case cases[] = {
        // The maker's record leads.
        {"camera then maker", 0, "c+a/A m+A", "A=m@a"},
        {"maker then camera", 0, "m+A c+a/A", "A=m@a"},
        {"camera change under maker", 0, "m+A c+a/A c~a/A", "A=m@a"},
        {"maker goes, camera returns", 0, "c+a/A m+A m-A", "A=c:a"},
        {"maker goes, changed camera returns", 0, "m+A c+a/A c~a/A m-A", "A=c:a"},
        {"camera gone under maker stays gone", 0, "m+A c+a/A c-a m-A", ""},
        {"camera goes, maker's row drops it", 0, "c+a/A m+A c-a", "A=m"},
        {"camera comes back into the maker's row", 0, "c+a/A m+A c-a m~A c+a/A", "A=m@a"},
        {"maker changes keep the endpoint", 0, "m+A c+a/A m~A", "A=m@a"},
        {"camera alone", 0, "c+a/A c~a/A", "A=c:a"},
        // Two cameras never share a row; serial numbers are not looked at.
        {"two cameras", 0, "c+a/A c+b/B", "A=c:a B=c:b"},
        {"forged MAC gets its endpoint", 0, "c+a/A c+b/A", "A=c:a b=c:b"},
        {"forged MAC takes the MAC once free", 0, "c+a/A c+b/A c-a c~b/A", "A=c:b"},
        {"both announcers join the maker", 0, "c+a/A c+b/A m+A", "A=m@a"},
        {"both announcers return", 0, "c+a/A c+b/A m+A m-A", "A=c:a b=c:b"},
        {"twin after the maker changes nothing shown", 0, "m+A c+b/A c+a/A", "A=m@a"},
        // MAC-less cameras are listed by endpoint until a MAC is known.
        {"camera without MAC", 0, "c+a/", "a=c:a"},
        {"camera gaining a MAC", 0, "c+a/ c~a/A", "A=c:a"},
        {"camera gaining the maker's MAC", 0, "c+a/ c~a/A m+A", "A=m@a"},
        {"camera changing its MAC", 0, "c+a/A c~a/B", "B=c:a"},
        {"camera moving to a maker's MAC", 0, "m+B c+a/A c~a/B", "B=m@a"},
        {"clear forgets everything", 0, "m+A c+a/A clear c+a/A", "A=c:a"},
        // With a grace period (watch), a camera with a MAC waits for the
        // maker's answer of the same device; one without MAC does not.
        {"waiting", 1500, "c+a/A c+b/B c+e/ t1", "e=c:e"},
        {"the maker takes a waiting camera in", 1500, "c+a/A c+b/B c+e/ t1 m+A", "A=m@a e=c:e"},
        {"grace runs out", 1500, "c+a/A c+b/B t1 m+A t2", "A=m@a B=c:b"},
        {"the maker arrives for a shown camera", 1500, "c+b/B t2 m+B", "B=m@b"},
        {"the maker leaves: at once a row", 1500, "c+b/B m+B t5 m-B", "B=c:b"},
        {"a camera that left while waiting is never shown", 1500, "c+b/B c-b t10", ""},
        {"changes while waiting show nothing", 1500, "c+b/B c~b/B", ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> faults;
        EXPECT_EQ(RunScript(c.script, c.graceMs, &faults), c.shown) << c.name;
        EXPECT_EQ(faults, std::vector<std::string>{}) << c.name;
    }
}

// Only a row that shows something new gets a step: a maker's row whose
// joined camera changes in nothing it shows stays quiet.
TEST(DeviceMerge, JoinedEndpointChangesAreTheirOnlySteps) {
    DeviceMerge merge;
    std::vector<MergeStep> steps;
    const auto now = DeviceMerge::Clock::now();
    merge.Maker("A", SEARCH_EVENT_NEW, &steps);
    steps.clear();
    merge.Camera("b", "A", SEARCH_EVENT_NEW, now, &steps);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_TRUE(steps[0].joinOnly);
    EXPECT_EQ(steps[0].endpoint, "b");
    steps.clear();
    merge.Camera("b", "A", SEARCH_EVENT_CHANGED, now, &steps);
    merge.Camera("c", "A", SEARCH_EVENT_NEW, now, &steps); // "b" still shown first
    EXPECT_TRUE(steps.empty());
    merge.Camera("a", "A", SEARCH_EVENT_NEW, now, &steps);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].endpoint, "a");
}

} // namespace
