#pragma once

#include "read/LineReader.h"
#include "read/Records.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <sys/types.h>

namespace qb {

// How a file's text is read. The import, the dry run and the preview all
// read through FileRecords with one of these, so they cannot disagree.
struct FileFormat {
    std::string separator = ",";
    bool quoted = false;   // fields may be in double quotes, records span lines
    std::string encoding;  // converted from to UTF-8; empty: bytes as they are
    // A record longer than this is read past without being held, refused
    // with a note, and the reading goes on after it; a file that is a single
    // line longer than this, with no line end at all, is not text.
    std::size_t maxRecordLength = kMaxLineLength;
    // What opens and closes a quoted field; a doubled one inside stands for one.
    char quote = '"';
    // Physical lines read past before the header or the first data record
    // (a title, a blank line); the records keep the file's own line numbers.
    long skipLines = 0;
    // A file without a header line: the first record is read as the header
    // is, for its field count, and is the first data record too.
    bool headerIsData = false;
};

// One data record of a file.
struct FileRecord {
    std::string text;  // UTF-8 when converted; a quoted record keeps its inner line ends
    long index = 0;    // its place among the file's data records, from 0
    long line = 0;     // the file line it began on, from 1
    off_t offset = 0;  // where it began in the file's own bytes (before any conversion)
    off_t end = 0;     // where its text ended there, before its line end
    // Why it is refused without being sent: its quote never closes, it is
    // too long (its text is then left empty), or it holds bytes the encoding
    // cannot convert. Empty when it can be sent.
    std::string note;
};

// A length as the record limit's messages give it: "256 MB", or "10 bytes" under a megabyte.
std::string SizeText(std::size_t bytes);

// The file is not text that can be imported: one line over the limit, with no line end.
class NotImportable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file's records as every reader of it sees them: byte order marks first
// (UTF-8's dropped, UTF-16's deciding the encoding), then the chosen
// encoding, LF line ends for a file that holds no CR at all, quoted records
// when asked for, the length limit, and the header. A reader that wants
// only the first records reads fewer of the same.
class FileRecords {
public:
    // Reads a source file by offset from its start, leaving the descriptor
    // the caller's; name is what messages call it. header: the first record
    // names the columns or is ignored, and is not data, unless its quote
    // never closes or it passes the limit (it is then refused in its place
    // as well). A file that ends within the lines to skip throws
    // NotImportable, as Next does, and std::system_error.
    FileRecords(int fd, std::string name, const FileFormat& format, bool header);

    // A working copy written from a source: each record as read, ended by
    // CR LF, in UTF-8. Read as the sender reads it, it gives back the same
    // records under the same limit, and notes nothing: the first reading did.
    struct WorkingCopy {};
    FileRecords(WorkingCopy, int fd, std::string name, const FileFormat& format);

    // The next data record; false at the end. Throws NotImportable and
    // std::system_error when the file cannot be read.
    bool Next(FileRecord& record);

    // The first record, when a header was asked for and the file has one.
    const std::string& Header() const { return m_header; }
    bool HasHeader() const { return m_hasHeader; }
    const std::string& Encoding() const { return m_encoding; }
    // With the encoding "Auto": what the file was read as, "UTF-8",
    // "Windows-1250", ...; empty otherwise.
    const std::string& ReadAs() const { return m_readAs; }
    // With "Auto": why that encoding is only a guess; empty when the file
    // told it for sure.
    const std::string& EncodingDoubt() const { return m_encodingDoubt; }
    // When a single-byte encoding is chosen for a file that is UTF-8 with
    // letters beyond ASCII, which it would store as other letters: why; empty otherwise.
    const std::string& EncodingWarning() const { return m_encodingWarning; }

private:
    // Where the text begins, how it is decoded, and its line ends.
    struct Start {
        off_t offset = 0;
        std::string encoding;
        std::string readAs;
        std::string guess;
        std::string warning;
        std::unique_ptr<TextDecoder> decoder;
        LineEnds ends = LineEnds::Cr;
    };
    static Start SourceStart(int fd, const std::string& name, const std::string& chosen);
    FileRecords(int fd, std::string name, const FileFormat& format, Start start, bool notes);
    bool Read(FileRecord& record);
    void SkipLines(long lines);

    std::string m_name;
    std::string m_encoding;
    std::string m_readAs;
    std::string m_encodingDoubt;
    std::string m_encodingWarning;
    std::size_t m_maxLength;
    char m_quote;
    bool m_notes;
    LineReader m_lines;
    RecordReader m_records;
    long m_next = 1;  // the line the next record begins on
    long m_index = 0;
    std::string m_header;
    bool m_hasHeader = false;
    bool m_pending = false;  // the header's record is also the first data record
    FileRecord m_first;
};

}  // namespace qb
