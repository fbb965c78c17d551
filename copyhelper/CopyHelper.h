// Marrowby's work: copy one file onto another on behalf of the main program, which starts it
// with raised rights when the scheme folder is not writable for the user. The command line is
// two double-quoted paths: source, then destination.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

constexpr size_t kHelperPathBytes = 1024; // each path holds at most 1023 bytes
constexpr size_t kHelperCopyBlock = 4096;
constexpr const char* kHelperFailureText = "Failed to write files";
constexpr const char* kHelperFailureCaption = "Copy";

enum class HelperResult { Copied, Failed };

// Reads one quoted argument into buffer. The position after its closing quote; null when there
// is no argument (buffer untouched), no closing quote, or the argument does not fit (tooLong).
const char* parse_quoted_arg(const char* text, char (&buffer)[kHelperPathBytes], bool& tooLong);

// Parses the destination from rest and copies source onto it in 4096-byte blocks. The
// destination appears whole or not at all (temporary file and rename); a copy onto the same file
// is left alone and counts as done. Failed when either path is bad, a file cannot be opened, or
// any read or write fails.
HelperResult copy_file_blocks(const char* rest, const char* source);
// The same with the two paths already apart.
HelperResult CopyOneFile(const std::string& source, const std::string& destination);

// Parse, copy and report: a failure is told on standard error and, with a screen, in the system
// message box. Always 1, as callers never wait for the helper.
int HelperMain(const char* commandLine, bool showMessageBox);
// The command line Marrowby takes for two paths; empty when a path cannot be quoted (it holds a
// double quote) or is too long.
std::string HelperCommandLine(const std::string& source, const std::string& destination);

// Whether the user may create files in folder (tried, not guessed from mode bits).
bool FolderIsWritable(const std::string& folder);
// The program and arguments that copy source into the scheme folder's destination: the helper
// itself when the folder is writable, else through pkexec for raised rights. Paths go as
// separate arguments, never through a shell.
std::vector<std::string> CopyHelperArguments(const std::string& helperPath, const std::string& source,
                                             const std::string& destination, bool folderWritable);
