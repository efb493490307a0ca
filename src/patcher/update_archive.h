// The downloaded update archive in the client folder: Update.dat as it arrived, and, when it is a LIZA
// container, its unpacked content in its place.
#pragma once

#include <cstdint>
#include <string>

enum class UnpackOutcome {
    NotLiza,      // not a LIZA container: Update.dat stays as it arrived
    Unpacked,     // Update.dat now holds the unpacked content
    NoMemory,     // the buffers for unpacking cannot be had
    CannotWrite,  // the unpacked content cannot be written
    Damaged,      // the container is invalid or damaged
};

// Unpacks clientFolder + "/Update.dat" into clientFolder + "/Updatez.dat", which then replaces
// Update.dat. On every outcome but Unpacked, Update.dat keeps the archive. reason says what was wrong
// with a damaged container.
UnpackOutcome UnpackUpdateFile(const std::string& clientFolder, std::string* reason);
