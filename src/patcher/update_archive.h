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

// Which update a complete Update.dat holds: the archive's name on the server, its announced size and
// the client version it updates. Kept beside Update.dat in "Update.ok" from the moment Update.dat is
// complete until the updater is started, so a hand-over that did not happen can be tried again at the
// next start without fetching the same archive anew.
struct UpdateRecord {
    std::string archiveName;
    uint32_t archiveSize = 0;
    std::string fromVersion;
};

// Writes the record with Update.dat's present size; false when it cannot be written.
bool WriteUpdateRecord(const std::string& clientFolder, const UpdateRecord& record);
// Update.dat is complete for this very update: the record names it and Update.dat has the size
// recorded with it.
bool UpdateIsReady(const std::string& clientFolder, const UpdateRecord& record);
void ForgetUpdateRecord(const std::string& clientFolder);
