#include "corvel/platform/Regex.h"

#include <unicode/uregex.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <atomic>
#include <climits>

namespace corvel {

namespace {

struct RegexCloser {
    void operator()(URegularExpression* re) const { uregex_close(re); }
};
using RegexHandle = std::unique_ptr<URegularExpression, RegexCloser>;

uint32_t icuFlags(const RegexOptions& options)
{
    uint32_t flags = 0;
    if (options.caseInsensitive) flags |= UREGEX_CASE_INSENSITIVE;
    if (options.multiline) flags |= UREGEX_MULTILINE;
    if (options.dotAll) flags |= UREGEX_DOTALL;
    return flags;
}

std::string describeCompileError(UErrorCode status, const UParseError& where)
{
    std::string text = u_errorName(status);
    if (where.offset >= 0) text += " at offset " + std::to_string(where.offset);
    return text;
}

}  // namespace

struct Regex::Impl {
    std::u16string pattern;
    RegexOptions options;
    size_t groupCount = 0;
    // The compiled pattern. It is never matched with directly; searches use
    // clones of it, which share the compiled form.
    RegexHandle prototype;
    // One clone kept for reuse; `spareInUse` hands it to one search at a time.
    RegexHandle spare;
    std::atomic<bool> spareInUse{false};

    // A matcher for one search: the spare one when it is free, else a fresh clone.
    class Lease {
    public:
        explicit Lease(Impl& impl) : impl_(impl)
        {
            if (!impl.spareInUse.exchange(true, std::memory_order_acquire)) {
                matcher_ = impl.spare.get();
                ownsSpare_ = true;
                return;
            }
            UErrorCode status = U_ZERO_ERROR;
            own_.reset(uregex_clone(impl.prototype.get(), &status));
            if (U_FAILURE(status)) own_.reset();
            matcher_ = own_.get();
        }
        ~Lease()
        {
            if (ownsSpare_) {
                // Drop the reference to the caller's text before another search
                // can pick the matcher up.
                UErrorCode status = U_ZERO_ERROR;
                static const char16_t empty[1] = {0};
                uregex_setText(matcher_, empty, 0, &status);
                impl_.spareInUse.store(false, std::memory_order_release);
            }
        }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;

        URegularExpression* get() const { return matcher_; }

    private:
        Impl& impl_;
        URegularExpression* matcher_ = nullptr;
        RegexHandle own_;
        bool ownsSpare_ = false;
    };

    // Points the matcher at the searched part of the text. False when the
    // engine refuses (the text is longer than ICU can address).
    static bool prepare(URegularExpression* re, std::u16string_view text,
                        const RegexSearchOptions& search)
    {
        if (!re || text.size() > static_cast<size_t>(INT32_MAX)) return false;
        static const char16_t empty[1] = {0};
        const char16_t* data = text.empty() ? empty : text.data();
        const auto length = static_cast<int32_t>(text.size());
        const auto to = static_cast<int32_t>(std::min(search.to, text.size()));
        const auto from = static_cast<int32_t>(std::min(search.from, static_cast<size_t>(to)));
        UErrorCode status = U_ZERO_ERROR;
        uregex_setText(re, data, length, &status);
        uregex_setTimeLimit(re, std::max<int32_t>(search.timeLimit, 0), &status);
        uregex_setRegion(re, from, to, &status);
        return U_SUCCESS(status);
    }

    static RegexOutcome failure(UErrorCode status)
    {
        return status == U_REGEX_TIME_OUT ? RegexOutcome::timedOut : RegexOutcome::failed;
    }

    static RegexRange groupRange(URegularExpression* re, int32_t group, bool& present)
    {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t start = uregex_start(re, group, &status);
        const int32_t end = uregex_end(re, group, &status);
        present = U_SUCCESS(status) && start >= 0 && end >= start;
        if (!present) return {};
        return {static_cast<size_t>(start), static_cast<size_t>(end - start)};
    }

    void readMatch(URegularExpression* re, RegexMatch& out) const
    {
        bool present = false;
        out.range = groupRange(re, 0, present);
        out.groups.assign(groupCount, std::nullopt);
        for (size_t g = 0; g < groupCount; ++g) {
            const RegexRange r = groupRange(re, static_cast<int32_t>(g + 1), present);
            if (present) out.groups[g] = r;
        }
    }
};

Regex::Regex(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

Regex::~Regex() = default;

std::optional<Regex> Regex::compile(std::u16string_view pattern, RegexOptions options,
                                    std::string* error)
{
    if (pattern.size() > static_cast<size_t>(INT32_MAX)) {
        if (error) *error = "pattern too long";
        return std::nullopt;
    }
    static const char16_t empty[1] = {0};
    UParseError where{};
    where.offset = -1;
    UErrorCode status = U_ZERO_ERROR;
    // ICU refuses a pattern of length 0; the empty pattern is passed as a
    // terminated string instead.
    RegexHandle prototype(uregex_open(pattern.empty() ? empty : pattern.data(),
                                      pattern.empty() ? -1 : static_cast<int32_t>(pattern.size()),
                                      icuFlags(options), &where, &status));
    if (U_FAILURE(status) || !prototype) {
        if (error) *error = describeCompileError(status, where);
        return std::nullopt;
    }
    RegexHandle spare(uregex_clone(prototype.get(), &status));
    const int32_t groups = uregex_groupCount(prototype.get(), &status);
    if (U_FAILURE(status) || !spare) {
        if (error) *error = u_errorName(status);
        return std::nullopt;
    }
    auto impl = std::make_shared<Impl>();
    impl->pattern.assign(pattern);
    impl->options = options;
    impl->groupCount = static_cast<size_t>(std::max(groups, 0));
    impl->prototype = std::move(prototype);
    impl->spare = std::move(spare);
    return Regex(std::move(impl));
}

std::optional<Regex> Regex::compile(std::string_view utf8Pattern, RegexOptions options,
                                    std::string* error)
{
    if (utf8Pattern.size() > static_cast<size_t>(INT32_MAX)) {
        if (error) *error = "pattern too long";
        return std::nullopt;
    }
    // UTF-16 never needs more code units than UTF-8 has bytes.
    std::u16string pattern(utf8Pattern.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(pattern.data(), static_cast<int32_t>(pattern.size()), &length,
                  utf8Pattern.data(), static_cast<int32_t>(utf8Pattern.size()), &status);
    if (status == U_STRING_NOT_TERMINATED_WARNING) status = U_ZERO_ERROR;
    if (U_FAILURE(status)) {
        if (error) *error = std::string("malformed UTF-8 in pattern: ") + u_errorName(status);
        return std::nullopt;
    }
    pattern.resize(static_cast<size_t>(length));
    return compile(std::u16string_view(pattern), options, error);
}

const std::u16string& Regex::pattern() const { return impl_->pattern; }

RegexOptions Regex::options() const { return impl_->options; }

size_t Regex::groupCount() const { return impl_->groupCount; }

RegexOutcome Regex::test(std::u16string_view text, const RegexSearchOptions& search) const
{
    Impl::Lease lease(*impl_);
    if (!Impl::prepare(lease.get(), text, search)) return RegexOutcome::failed;
    UErrorCode status = U_ZERO_ERROR;
    const bool found = uregex_findNext(lease.get(), &status);
    if (U_FAILURE(status)) return Impl::failure(status);
    return found ? RegexOutcome::matched : RegexOutcome::noMatch;
}

RegexOutcome Regex::firstMatch(std::u16string_view text, RegexMatch& out,
                               const RegexSearchOptions& search) const
{
    Impl::Lease lease(*impl_);
    if (!Impl::prepare(lease.get(), text, search)) return RegexOutcome::failed;
    UErrorCode status = U_ZERO_ERROR;
    const bool found = uregex_findNext(lease.get(), &status);
    if (U_FAILURE(status)) return Impl::failure(status);
    if (!found) return RegexOutcome::noMatch;
    impl_->readMatch(lease.get(), out);
    return RegexOutcome::matched;
}

std::optional<RegexMatch> Regex::firstMatch(std::u16string_view text,
                                            const RegexSearchOptions& search) const
{
    RegexMatch match;
    if (firstMatch(text, match, search) != RegexOutcome::matched) return std::nullopt;
    return match;
}

RegexOutcome Regex::allMatches(std::u16string_view text, std::vector<RegexMatch>& out,
                               const RegexSearchOptions& search) const
{
    out.clear();
    Impl::Lease lease(*impl_);
    if (!Impl::prepare(lease.get(), text, search)) return RegexOutcome::failed;
    for (;;) {
        UErrorCode status = U_ZERO_ERROR;
        const bool found = uregex_findNext(lease.get(), &status);
        if (U_FAILURE(status)) return Impl::failure(status);
        if (!found) break;
        impl_->readMatch(lease.get(), out.emplace_back());
    }
    return out.empty() ? RegexOutcome::noMatch : RegexOutcome::matched;
}

}  // namespace corvel
