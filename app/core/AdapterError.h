// The one error that session adapters raise: `notFound` with the session id the
// adapter does not know, or `unsupported` with a text. It adds no message of its
// own; what() names the case and its text, as logs show it.
#pragma once

#include <exception>
#include <string>

namespace tilebay {

class AdapterError : public std::exception {
public:
    enum class Kind : unsigned char { unsupported, notFound };

    static AdapterError unsupported(std::string text) { return {Kind::unsupported, std::move(text)}; }
    static AdapterError notFound(std::string id) { return {Kind::notFound, std::move(id)}; }

    Kind kind() const { return kind_; }
    const std::string& text() const { return text_; }
    const char* what() const noexcept override { return description_.c_str(); }

    bool operator==(const AdapterError& other) const
    {
        return kind_ == other.kind_ && text_ == other.text_;
    }

private:
    AdapterError(Kind kind, std::string text)
        : kind_(kind),
          text_(std::move(text)),
          description_(std::string(kind == Kind::notFound ? "notFound" : "unsupported") + "(\"" +
                       text_ + "\")")
    {
    }

    Kind kind_;
    std::string text_;
    std::string description_;
};

}  // namespace tilebay
