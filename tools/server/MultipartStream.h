#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::server {

// The boundary of a "multipart/form-data; boundary=..." content type (quoted or not, 1 to
// 70 characters); nothing for any other type.
std::optional<std::string> MultipartBoundary(std::string_view contentType);

// Takes a multipart/form-data body piece by piece as it arrives and hands the content of
// the field named `field` to the sink, without keeping more than a boundary's length of
// it. The other fields are skipped. Bounded: part heads of at most 8 KB, at most 16 parts.
class TMultipartStream {
public:
    enum class TState { Running, Done, Failed };
    // The sink returns false to stop (a full disk, a size limit): the stream fails then.
    using TSink = std::function<bool(std::string_view bytes)>;

    TMultipartStream(const std::string& boundary, std::string field, TSink sink);

    // Feeds the next bytes of the body; the state after them.
    TState Feed(std::string_view bytes);
    TState State() const { return FState; }
    // True once the field was found (its content may still be arriving).
    bool FoundField() const { return FFound; }
    // What went wrong, for the reply and the log.
    const std::string& Error() const { return FError; }

private:
    enum class TStep { Preamble, AfterDelimiter, Heads, Content, Epilogue };
    TState Fail(std::string why);
    bool StartPart(const std::string& heads);

    std::string FDelimiter; // CR LF "--" boundary
    std::string FField;
    TSink FSink;
    std::string FPending;
    TStep FStep = TStep::Preamble;
    TState FState = TState::Running;
    bool FInField = false;
    bool FFound = false;
    int FParts = 0;
    std::string FError;
};

} // namespace quorvel::server
