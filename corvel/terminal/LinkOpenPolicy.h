// Which links a view may hand to the system to open. A link of a program's
// output is untrusted text: only web and mail addresses (http, https, mailto,
// ftp) and local files that are not executable may be opened, so a click can
// never start a program. Every refusal comes with one diagnostic line for the
// view to print.
//
// Stateless; `file:` links look at the file system (stat) at the time of the
// call.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvel::linkpolicy {

struct LinkOpenDecision {
    bool open = false;
    // Why the link is not opened; empty when it is.
    std::string diagnostic;
};

// The scheme of a URL ("http"), lowered; none when the text does not start
// with one.
std::optional<std::string> scheme(std::string_view link);

// The local path that a `file:` URL names (percent-decoded); none for another
// scheme, a remote host or a malformed escape.
std::optional<std::string> filePath(std::string_view link);

LinkOpenDecision decide(std::string_view link);

}  // namespace corvel::linkpolicy
