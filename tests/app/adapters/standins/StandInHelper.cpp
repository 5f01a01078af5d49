// A stand-in for the helper's Python interpreter, built with the tests and
// installed as "venv/bin/python" under a temporary data folder. It is started
// with the helper script's path; the name of the folder holding that script
// chooses how it behaves. It appends a line to "launches.log" in that folder
// when it starts and every request line to "requests.log", and answers
// "snapshot" with the JSON in "result.json" there (or one session "PY-1").
//   normal       hello, then one reply per request
//   split-hello  the hello in two writes a moment apart, then as normal
//   noise        malformed lines and a reply nobody asked for around every
//                real line, each batch in one write
//   no-result    a hello with "id" 0 but no "result"
//   no-hello     never writes
//   silent       hello, then never replies
//   late         hello; holds the reply to odd requests and sends it, in one
//                write with the next reply, when the next request arrives
//   die          hello, then kills itself on the first request
//   close-input  hello, closes its input, waits to be ended
#include <nlohmann/json.hpp>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <optional>
#include <thread>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

fs::path dir;

void writeAll(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

void append(const char* file, const std::string& line)
{
    std::ofstream(dir / file, std::ios::app) << line << '\n';
}

json snapshotResult()
{
    std::ifstream in(dir / "result.json");
    if (!in) return json::array({{{"guid", "PY-1"}, {"name", "py"}, {"contents", "from the helper"}}});
    return json::parse(std::string(std::istreambuf_iterator<char>(in), {}));
}

std::string reply(int64_t id, const json& request)
{
    json out{{"id", id}};
    out["result"] = request.value("method", "") == "snapshot" ? snapshotResult() : json(true);
    return out.dump() + "\n";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    dir = fs::path(argv[1]).parent_path();
    const std::string mode = dir.filename().string();
    append("launches.log", "launch");

    if (mode == "no-hello") {
        for (std::string line; std::getline(std::cin, line);) append("requests.log", line);
        for (;;) ::pause();
    }
    if (mode == "split-hello") {
        writeAll("{\"id\":0,");
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        writeAll("\"result\":\"hello\"}\n");
    } else if (mode == "noise") {
        writeAll("not json\n[1,2]\n{\"id\":\"0\"}\n{\"id\":0.5}\n\n{\"id\":0,\"result\":null}\n");
    } else if (mode == "no-result") {
        writeAll("{\"id\":0,\"ready\":true}\n");
    } else {
        writeAll("{\"id\":0,\"result\":null}\n");
    }
    if (mode == "close-input") {
        ::close(STDIN_FILENO);
        for (;;) ::pause();
    }

    std::optional<std::pair<int64_t, json>> held;
    for (std::string line; std::getline(std::cin, line);) {
        append("requests.log", line);
        const json request = json::parse(line, nullptr, false);
        if (!request.is_object()) continue;
        const int64_t id = request.value("id", int64_t(-1));
        if (mode == "silent" || mode == "no-result") continue;
        if (mode == "die") ::raise(SIGKILL);
        if (mode == "late") {
            std::string batch;
            if (held) {
                json late{{"id", held->first},
                          {"result", json::array({{{"guid", "LATE"}, {"name", "late"}, {"contents", ""}}})}};
                batch += late.dump() + "\n";
                held.reset();
            }
            if (id % 2 == 1) held.emplace(id, request);
            else batch += reply(id, request);
            writeAll(batch);
            continue;
        }
        if (mode == "noise") {
            writeAll("garbage\n{\"id\":999,\"result\":[]}\n" + reply(id, request));
            continue;
        }
        writeAll(reply(id, request));
    }
    return 0;
}
