#pragma once

#include <string_view>

namespace orvelo {

// The syslog priority of a log line. Under systemd standard output goes to the journal, which
// reads a "<N>" at the start of a line as its priority, so `journalctl -p err` shows the
// failures among ordinary lines.
enum class LogPriority { Error = 3, Warning = 4, Info = 6 };

// Read from the line's own words: the player's lines say what went wrong ("Failed to ...",
// "... error: ...", "... cannot be sent"), and lines built from system and GStreamer messages
// carry theirs. A line that calls itself a warning is one, whatever else it says.
LogPriority priorityOf(std::string_view line);

// Whether standard output is the journal's stream: systemd names that stream's device and inode
// in JOURNAL_STREAM ("dev:inode"); a redirect or a pipe in between keeps lines plain.
bool isJournalStream(const char* journalStream, unsigned long long device, unsigned long long inode);

} // namespace orvelo
