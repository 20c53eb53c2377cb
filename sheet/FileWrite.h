#pragma once
// The one way this program writes a file of its own: the workbook, the PDF, the live page, the
// journal and the timing log all go through these two routines, so that every file has the same
// guarantee after a crash or a power cut. Neither words its faults: a failure leaves the errno of
// the step that failed, and store/FileMessages turns it into the sentence a user reads.

#include <string>
#include <string_view>

namespace sheet {

// Replaces the whole content of `path`, so that a crash leaves either the old file or the new
// one, never a mix: a temporary file in the same folder, flushed to disk, renamed over the
// target, then the folder flushed so that the new name is on disk too. A new file gets the
// permissions the umask allows; a replaced file keeps its own. A `path` that is a symbolic link
// writes the file the link points to (made when the link dangles) and the link stays. False on
// failure, with the errno of the step that failed in *systemError; the target is then untouched.
bool WriteFileSafely(const std::string& path, std::string_view data, int* systemError = nullptr);

// Appends `data` to the end of `path` and flushes the file to disk before returning.
// A file that does not exist yet is created whole through WriteFileSafely with `heading` before
// `data` (and its folder flushed), so that a crash never leaves a file with half a heading.
// A file whose last byte is not a line feed (a line cut short by a crash) gets `cutLineEnd`
// first, so that `data` starts a line of its own; an empty `cutLineEnd` leaves the file's end as
// it is. A path that names a folder fails with
// EISDIR, any other file that is not a regular file with ENODEV, without writing to it.
// When a write fails part-way (a full disk), *written (when given) tells how many bytes of
// `data` reached the file, so that a caller retrying its records can leave out those that are
// already there whole; on success it is data.size().
bool AppendToFile(const std::string& path, std::string_view data, std::string_view heading,
                  std::string_view cutLineEnd, int* systemError = nullptr,
                  size_t* written = nullptr);

}  // namespace sheet
