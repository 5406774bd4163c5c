// Appends one line to a log file of the sample product under
// %ProgramData%\PelorixSample\ so that tests can see what the product did
// after the setup started or loaded it.
#pragma once

namespace sample {

// Appends `text` as UTF-8 followed by CRLF to %ProgramData%\PelorixSample\<file_name>,
// creating the folder and the file when missing. Returns false when the line
// could not be written; the product carries on either way.
bool AppendLogLine(const wchar_t* file_name, const wchar_t* text);

}  // namespace sample
