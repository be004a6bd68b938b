#include "tools/server/MultipartStream.h"

#include <algorithm>
#include <cctype>

namespace quorvel::server {

namespace {

constexpr std::size_t kMaxHeads = 8 * 1024;
constexpr int kMaxParts = 16;

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The value of a parameter (name="value" or name=value) in a header value; nothing when
// absent.
std::optional<std::string> Parameter(std::string_view value, const std::string& name) {
    std::size_t at = 0;
    while ((at = value.find(';', at)) != std::string_view::npos) {
        ++at;
        std::string_view rest = Trim(value.substr(at));
        const std::size_t equals = rest.find('=');
        if (equals == std::string_view::npos)
            continue;
        if (Lower(Trim(rest.substr(0, equals))) != name)
            continue;
        std::string_view v = Trim(rest.substr(equals + 1));
        if (!v.empty() && v.front() == '"') {
            const std::size_t close = v.find('"', 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            return std::string(v.substr(1, close - 1));
        }
        return std::string(Trim(v.substr(0, v.find(';'))));
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> MultipartBoundary(std::string_view contentType) {
    const std::size_t semicolon = contentType.find(';');
    if (Lower(Trim(contentType.substr(0, semicolon))) != "multipart/form-data")
        return std::nullopt;
    auto boundary = Parameter(contentType, "boundary");
    if (!boundary || boundary->empty() || boundary->size() > 70)
        return std::nullopt;
    for (char c : *boundary)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            return std::nullopt;
    return boundary;
}

TMultipartStream::TMultipartStream(const std::string& boundary, std::string field, TSink sink)
    : FDelimiter("\r\n--" + boundary), FField(std::move(field)), FSink(std::move(sink)),
      // The body starts with the first delimiter and no line end before it.
      FPending("\r\n") {}

TMultipartStream::TState TMultipartStream::Fail(std::string why) {
    FState = TState::Failed;
    FError = std::move(why);
    FPending.clear();
    return FState;
}

bool TMultipartStream::StartPart(const std::string& heads) {
    if (++FParts > kMaxParts)
        return false;
    FInField = false;
    std::size_t start = 0;
    while (start < heads.size()) {
        std::size_t end = heads.find("\r\n", start);
        if (end == std::string::npos)
            end = heads.size();
        const std::string_view line(heads.data() + start, end - start);
        start = end + 2;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        if (Lower(Trim(line.substr(0, colon))) != "content-disposition")
            continue;
        const auto name = Parameter(line.substr(colon + 1), "name");
        FInField = !FFound && name && *name == FField;
        if (FInField)
            FFound = true;
    }
    return true;
}

TMultipartStream::TState TMultipartStream::Feed(std::string_view bytes) {
    if (FState != TState::Running)
        return FState;
    FPending.append(bytes);
    for (;;) {
        switch (FStep) {
        case TStep::Preamble:
        case TStep::Content: {
            const std::size_t at = FPending.find(FDelimiter);
            const std::size_t keep = FDelimiter.size() - 1;
            if (at == std::string::npos) {
                // Hand on what cannot be the start of a delimiter; keep the rest.
                if (FPending.size() > keep) {
                    const std::size_t give = FPending.size() - keep;
                    if (FStep == TStep::Content && FInField &&
                        !FSink(std::string_view(FPending.data(), give)))
                        return Fail("the upload was refused while it arrived");
                    FPending.erase(0, give);
                }
                return FState;
            }
            if (FStep == TStep::Content && FInField && at > 0 &&
                !FSink(std::string_view(FPending.data(), at)))
                return Fail("the upload was refused while it arrived");
            FPending.erase(0, at + FDelimiter.size());
            FInField = false;
            FStep = TStep::AfterDelimiter;
            break;
        }
        case TStep::AfterDelimiter: {
            if (FPending.size() < 2)
                return FState;
            if (FPending.compare(0, 2, "--") == 0) {
                FStep = TStep::Epilogue;
                FPending.clear();
                if (!FFound)
                    return Fail("the upload has no field named " + FField);
                FState = TState::Done;
                return FState;
            }
            // Blanks may follow the delimiter before its line end.
            const std::size_t end = FPending.find("\r\n");
            if (end == std::string::npos) {
                if (FPending.size() > 256)
                    return Fail("a malformed multipart delimiter");
                return FState;
            }
            if (Trim(std::string_view(FPending.data(), end)).size() != 0)
                return Fail("a malformed multipart delimiter");
            FPending.erase(0, end + 2);
            FStep = TStep::Heads;
            break;
        }
        case TStep::Heads: {
            const std::size_t end = FPending.find("\r\n\r\n");
            if (end == std::string::npos) {
                if (FPending.size() > kMaxHeads)
                    return Fail("a multipart part head is too long");
                return FState;
            }
            if (end > kMaxHeads)
                return Fail("a multipart part head is too long");
            if (!StartPart(FPending.substr(0, end)))
                return Fail("the upload has too many parts");
            FPending.erase(0, end + 4);
            FStep = TStep::Content;
            break;
        }
        case TStep::Epilogue:
            FPending.clear();
            return FState;
        }
    }
}

} // namespace quorvel::server
