#pragma once

// How the lines of a composed message end: LF where it is stored as a local file (Maildir
// readers expect it), CRLF where it goes over the wire (IMAP requires it).
enum class LineEnding
{
    Lf,
    CrLf
};
