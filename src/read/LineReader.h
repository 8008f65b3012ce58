#pragma once

#include "base/UniqueFd.h"
#include "read/TextDecoder.h"

#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace qb {

// No record worth importing is this long, and holding one would exhaust
// memory: a longer line is read past, not kept.
inline constexpr std::size_t kMaxLineLength = std::size_t(256) << 20;

// Takes the bytes of a line over the limit as it is read past, in pieces,
// for whoever must still follow its text (a quote that it opens or closes).
class SkippedText {
public:
    virtual void Take(std::string_view piece) = 0;

protected:
    ~SkippedText() = default;
};

enum class LineEnds {
    Cr,  // CR LF or a lone CR; an LF on its own is an ordinary byte
    Lf,  // LF alone, for files that hold no CR at all
};

// Reads lines ended as the file's line ends say. The last line needs no
// terminator. Holds one line at a time.
class LineReader {
public:
    // privateFile: the working copy; links and other users' files are refused.
    LineReader(const std::string& path, bool privateFile, std::size_t maxLineLength = kMaxLineLength);
    // Reads an open file from start, by offset, leaving the descriptor's own
    // position alone; the descriptor stays the caller's. With a decoder, the
    // bytes are converted to UTF-8 before lines are found in them.
    LineReader(int fd, std::string name, std::size_t maxLineLength = kMaxLineLength, LineEnds ends = LineEnds::Cr,
               off_t start = 0, std::unique_ptr<TextDecoder> decoder = nullptr);
    ~LineReader();

    // False at the end of the file. Throws std::system_error on a read error.
    // A line longer than the limit is read to its end without being held:
    // line is left empty, Skipped() tells, and skipped, when given, takes its
    // text (UTF-8 when converted).
    bool Next(std::string& line, SkippedText* skipped = nullptr);
    // The last line was over the limit.
    bool Skipped() const { return m_skipped; }
    // What ended the last line: "\r\n", "\r", "\n", or nothing at the end.
    std::string_view Terminator() const { return m_terminator; }
    // Where the last line began and where its text ended, before its
    // terminator, in the file's own bytes (before any conversion).
    off_t LineStart() const { return m_lineStart; }
    off_t LineEnd() const { return m_lineEnd; }

private:
    bool Fill();
    bool NextLong(std::string& line, SkippedText* skipped);
    bool NextConverted(std::string& line, SkippedText* skipped);
    void SkipRest(off_t from, SkippedText* skipped);
    void Drop(std::string& line, SkippedText* skipped);
    void EndLine();
    void EndConvertedLine();

    UniqueFd m_owned;
    int m_fd;
    off_t m_offset = 0;
    off_t m_fileEnd = -1;  // where a read last found the end of the file
    std::string m_name;
    std::unique_ptr<char[]> m_raw;  // left unfilled: every byte used is read into it first
    const char* m_data = nullptr;  // m_raw's bytes
    std::size_t m_maxLineLength;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    char m_end1;  // the byte that ends a line
    std::string_view m_terminator;
    off_t m_lineStart = 0;
    off_t m_lineEnd = 0;
    bool m_skipped = false;
    // Converted files are cut into lines at the encoding's own line ends,
    // each line converted by itself, so that a line's bytes in the file are known.
    std::unique_ptr<TextDecoder> m_decoder;
    std::string m_endBytes;  // the encoding's CR or LF, as the file's line ends say
};

// The line ends of a file read from start: LF when it holds no CR at all
// (the decoder's encoding's CR, when there is one), else CR. Reads until the first CR.
LineEnds DetectLineEnds(int fd, const std::string& name, off_t start, const TextDecoder* decoder);

}  // namespace qb
