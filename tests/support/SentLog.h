// The simulator's sent log (lorvex-devsim --sent-log FILE, docs/protocol.md)
// read by a test: what the simulated devices have sent so far. A test waits
// on it for the moment when everything that could reach the tool has been
// sent, instead of sleeping and hoping that it has.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

// One line of the log: WHAT ID MAC [RESULT], or "junk ID COUNT" (then mac
// is empty and result the count).
struct SentLine {
    std::string what; // answer, result, ack, dropped, reset, junk, limited
    std::uint32_t id = 0;
    std::string mac;
    int result = -1;
};

class SentLog {
public:
    SentLog() = default; // reads nothing until given a path
    explicit SentLog(std::string path) : m_path(std::move(path)) {}
    const std::string& Path() const { return m_path; }

    // Forgets every line read so far and every line still unread: later
    // looks see only what is sent from now on.
    void Mark() {
        Read();
        m_lines.clear();
    }
    // The lines since the last Mark, in the order the simulator wrote them.
    const std::vector<SentLine>& Lines() {
        Read();
        return m_lines;
    }
    // Waits until done(lines since the mark) holds, up to limit; false when
    // it did not. The log is a file, so this looks every 10 ms.
    bool WaitFor(std::chrono::milliseconds limit,
                 const std::function<bool(const std::vector<SentLine>&)>& done) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done(Lines())) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    // Waits until some one identifier has at least n answers since the mark
    // (a round's probes to all devices, each answered by every device).
    bool WaitForRound(std::size_t n, std::chrono::milliseconds limit) {
        return WaitFor(limit, [n](const std::vector<SentLine>& lines) {
            return MostAnswersOfOneId(lines) >= n;
        });
    }
    // Waits until the simulator has handled the sealed request `id`: sent
    // its result or acknowledgement, or left it unanswered.
    bool WaitForRequest(std::uint32_t id, std::chrono::milliseconds limit) {
        return WaitFor(limit, [id](const std::vector<SentLine>& lines) {
            for (const SentLine& l : lines)
                if (l.id == id && l.what != "answer")
                    return true;
            return false;
        });
    }

    static std::size_t MostAnswersOfOneId(const std::vector<SentLine>& lines) {
        std::map<std::uint32_t, std::size_t> answers;
        std::size_t most = 0;
        for (const SentLine& l : lines)
            if (l.what == "answer")
                most = std::max(most, ++answers[l.id]);
        return most;
    }
    // Junk datagrams sent with a probe's identifier (not 0, sent before any
    // probe came).
    static long JunkOfProbes(const std::vector<SentLine>& lines) {
        long n = 0;
        for (const SentLine& l : lines)
            if (l.what == "junk" && l.id != 0)
                n += l.result;
        return n;
    }

private:
    // Takes the whole lines written since the last read; a line still being
    // written is left for the next.
    void Read() {
        std::ifstream in(m_path, std::ios::binary);
        if (!in)
            return;
        in.seekg(static_cast<std::streamoff>(m_offset));
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t end = text.rfind('\n');
        if (end == std::string::npos)
            return;
        m_offset += end + 1;
        std::istringstream lines(text.substr(0, end + 1));
        for (std::string line; std::getline(lines, line);)
            m_lines.push_back(Parse(line));
    }
    static SentLine Parse(const std::string& line) {
        std::istringstream in(line);
        SentLine l;
        std::string id;
        in >> l.what >> id;
        l.id = static_cast<std::uint32_t>(std::strtoul(id.c_str(), nullptr, 16));
        if (l.what == "junk")
            in >> l.result;
        else if (!(in >> l.mac >> l.result))
            l.result = -1;
        return l;
    }

    std::string m_path;
    std::size_t m_offset = 0;
    std::vector<SentLine> m_lines;
};

} // namespace test_support
