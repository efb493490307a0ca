// orl-publish: builds the update server's tree from client folders, in the layout the launcher
// reads, for one or both editions.
//   orl-publish OUT [--edition orvin|kessa] --release VERSION DIR [--release VERSION DIR ...]
//               [--full VERSION] --starter FILE [--orl-ini FILE] [--web DIR]
//               [--sign KEYFILE [--expires DAYS] [--delegation FILE]]
//   orl-publish keygen DIR
//   orl-publish delegate ROOTKEY SIGNINGPUB --expires DAYS OUT
//   orl-publish resign OUT --sign KEYFILE [--expires DAYS] [--delegation FILE]
#include <sys/stat.h>
#include <zip.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "core/starter_refresh.h"
#include "orl-publish/signing.h"
#include "patcher/liza.h"
#include "patcher/liza_encoder.h"
#include "update-payload/update_payload.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: orl-publish OUT [--edition orvin|kessa] --release VERSION DIR [--release VERSION DIR ...]\n"
    "                   [--full VERSION] --starter FILE [--orl-ini FILE] [--web DIR]\n"
    "\n"
    "Writes the update server's tree into OUT (replacing it once everything is written).\n"
    "  --edition NAME          the edition the following --release and --full belong to (default orvin)\n"
    "  --release VERSION DIR   a client release; the last one of an edition is its current version,\n"
    "                          and every earlier one gets an update archive to it\n"
    "  --full VERSION          the release the edition's full-client zip holds (default: the current)\n"
    "  --starter FILE          the starter program, published with its checksum record\n"
    "  --orl-ini FILE          the banner file (default: one without banners)\n"
    "  --web DIR               web pages (notice and banner pages) copied to the top of the tree\n"
    "  --sign KEYFILE          sign a release manifest for each edition and for the starter folder\n"
    "  --expires DAYS          how long the manifests are good for (default 14)\n"
    "  --delegation FILE       the root key's delegation to the signing key, put beside each signature\n"
    "\n"
    "       orl-publish keygen DIR\n"
    "Writes an Ed25519 key pair: DIR/orl-signing.key (private) and DIR/orl-signing.pub.\n"
    "       orl-publish delegate ROOTKEY SIGNINGPUB --expires DAYS OUT\n"
    "Writes to OUT the root key's word that the key in SIGNINGPUB may sign manifests for DAYS days.\n"
    "       orl-publish resign OUT --sign KEYFILE [--expires DAYS] [--delegation FILE]\n"
    "Renews the manifests of the tree OUT: a later expiry and a higher release number.\n";

struct Edition {
    const char* name;
    const char* updateDir;  // the default of serverlist.ini's "dir"
    const char* fullDir;
    const char* archive;
};

constexpr Edition kEditions[] = {
    {"orvin", "live/real", "live/VEL-KOR/full", "Velmora_Orvin.zip"},
    {"kessa", "live/test", "live/VEL-KOR-KESSA/full", "Velmora_Kessa.zip"},
};

struct Release {
    std::string version;
    fs::path folder;
};

struct EditionPlan {
    std::vector<Release> releases;
    std::string full;
};

bool Fail(const std::string& why) {
    std::fprintf(stderr, "orl-publish: %s\n", why.c_str());
    return false;
}

// A version names server files and goes into List.mfm's 12 bytes with its terminator.
bool IsPublishableVersion(const std::string& version) {
    if (version.empty() || version.size() > 11) return false;
    for (char c : version) {
        bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
                  c == '-' || c == '_';
        if (!ok) return false;
    }
    return true;
}

bool WriteFile(const fs::path& path, const void* data, size_t size) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) return Fail("cannot write " + path.string());
    return true;
}

bool WriteText(const fs::path& path, const std::string& text) {
    return WriteFile(path, text.data(), text.size());
}

// The launcher takes a size of 404, or below 10, for a missing one.
bool SizeReadsAsValid(uint64_t size) { return size >= 10 && size != 404 && size <= 0xFFFFFFFFu; }

std::string ArchiveName(const std::string& from, const std::string& to) {
    return from + "_to_" + to + ".dat";
}

bool PublishUpdate(const fs::path& updateDir, const Release& from, const Release& to) {
    std::string error;
    auto payload = DiffClients(from.folder, to.folder, from.version, to.version, &error);
    if (!payload) return Fail(error);
    std::vector<uint8_t> bytes = EncodePayload(*payload);
    if (bytes.size() > 0xFFFFFFFFu - 65500u)
        return Fail("the update from " + from.version + " to " + to.version +
                    " is too large for one archive");
    std::vector<uint8_t> container = LizaPack(bytes);
    if (!SizeReadsAsValid(container.size())) container = LizaPack(bytes, true);
    if (!SizeReadsAsValid(container.size()))
        return Fail("the archive from " + from.version + " has a size the launcher cannot take");
    std::string name = ArchiveName(from.version, to.version), size = std::to_string(container.size());
    std::printf("  update %s -> %s: %zu changes, %s bytes packed from %zu\n", from.version.c_str(),
                to.version.c_str(), payload->entries.size(), size.c_str(), bytes.size());
    return WriteText(updateDir / (from.version + ".siz"), size) &&
           WriteText(updateDir / (from.version + ".ldt"), name) &&
           WriteText(updateDir / "dat" / (from.version + ".siz"), size) &&
           WriteFile(updateDir / "dat" / name, container.data(), container.size());
}

bool AddZipEntry(zipFile zip, const std::string& name, const fs::path& source,
                 const std::vector<uint8_t>* bytes) {
    zip_fileinfo info{};
    uint64_t size = 0;
    mode_t mode = 0644;
    std::time_t stamp = std::time(nullptr);
    if (bytes == nullptr) {
        struct stat st {};
        if (::stat(source.c_str(), &st) != 0) return Fail("cannot read " + source.string());
        size = static_cast<uint64_t>(st.st_size);
        mode = st.st_mode & 0777;
        stamp = st.st_mtime;
    } else {
        size = bytes->size();
    }
    std::tm local{};
    localtime_r(&stamp, &local);
    info.tmz_date = {static_cast<uInt>(local.tm_sec),  static_cast<uInt>(local.tm_min),
                     static_cast<uInt>(local.tm_hour), static_cast<uInt>(local.tm_mday),
                     static_cast<uInt>(local.tm_mon),  static_cast<uInt>(local.tm_year + 1900)};
    // Made on Unix, so the extractor keeps the game programs executable.
    info.external_fa = static_cast<uLong>(S_IFREG | mode) << 16;
    constexpr uLong kMadeOnUnix = (3u << 8) | 20u;
    if (zipOpenNewFileInZip4_64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                nullptr, 0, kMadeOnUnix, 0, size >= 0xFFFFFFFFu ? 1 : 0) != ZIP_OK)
        return Fail("cannot add " + name + " to the zip archive");
    bool ok = true;
    if (bytes != nullptr) {
        ok = bytes->empty() ||
             zipWriteInFileInZip(zip, bytes->data(), static_cast<unsigned>(bytes->size())) == ZIP_OK;
    } else {
        std::ifstream in(source, std::ios::binary);
        std::vector<char> buffer(1 << 20);
        while (ok && in) {
            in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            if (in.gcount() > 0)
                ok = zipWriteInFileInZip(zip, buffer.data(), static_cast<unsigned>(in.gcount())) == ZIP_OK;
        }
        ok = ok && !in.bad();
    }
    ok = zipCloseFileInZip(zip) == ZIP_OK && ok;
    return ok || Fail("cannot pack " + name);
}

bool PublishFull(const fs::path& fullDir, const Edition& edition, const Release& release) {
    fs::create_directories(fullDir);
    fs::path archive = fullDir / edition.archive;
    zipFile zip = zipOpen64(archive.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) return Fail("cannot create " + archive.string());
    bool ok = true;
    for (const std::string& path : ListClientFiles(release.folder)) {
        if (path == "List.mfm") continue;
        if (!IsSafePayloadPath(path)) {
            ok = Fail("cannot publish the file name " + path);
            break;
        }
        // The launcher's extractor makes a folder of every entry whose last name has no dot.
        if (fs::path(path).filename().string().find('.') == std::string::npos) {
            ok = Fail("the launcher would unpack " + path + " as a folder: give the file a name with a dot");
            break;
        }
        if (!(ok = AddZipEntry(zip, path, release.folder / path, nullptr))) break;
    }
    std::vector<uint8_t> version = VersionFileBytes(release.version);
    ok = ok && AddZipEntry(zip, "List.mfm", {}, &version);
    ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    if (!ok) return false;
    uint64_t size = fs::file_size(archive);
    std::printf("  full client %s: %s, %llu bytes\n", release.version.c_str(), edition.archive,
                static_cast<unsigned long long>(size));
    return WriteText(fullDir / "full_index.txt",
                     std::string(edition.archive) + " " + std::to_string(size) + "\n");
}

bool PublishEdition(const fs::path& out, const Edition& edition, const EditionPlan& plan) {
    std::printf("%s:\n", edition.name);
    const Release& current = plan.releases.back();
    fs::path updateDir = out / edition.updateDir;
    if (!WriteText(updateDir / "last.ver", current.version + "\n")) return false;
    for (size_t i = 0; i + 1 < plan.releases.size(); ++i)
        if (!PublishUpdate(updateDir, plan.releases[i], current)) return false;
    for (const Release& release : plan.releases)
        if (release.version == plan.full) return PublishFull(out / edition.fullDir, edition, release);
    return Fail("--full " + plan.full + " names no release of " + edition.name);
}

bool PublishStarter(const fs::path& out, const fs::path& starter, const fs::path& orlIni) {
    fs::path folder = out / "orl/KOR/Starter";
    std::ifstream in(starter, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The same sum the launcher computes over its local starter.
    ChecksumRecord checksum{4096, 0};
    if ((!in.good() && !in.eof()) || !checksum.ComputeFileByteSum(starter.string()))
        return Fail("cannot read " + starter.string());
    uint8_t record[12];
    for (int i = 0; i < 4; ++i)
        record[i] = static_cast<uint8_t>(static_cast<uint32_t>(checksum.blockSize) >> (8 * i));
    for (int i = 0; i < 8; ++i) record[4 + i] = static_cast<uint8_t>(checksum.byteSum >> (8 * i));
    std::string banners = "[BannerURL]\r\n[ImageURL]\r\n";
    if (!orlIni.empty()) {
        std::ifstream ini(orlIni, std::ios::binary);
        if (!ini) return Fail("cannot read " + orlIni.string());
        banners.assign(std::istreambuf_iterator<char>(ini), std::istreambuf_iterator<char>());
    }
    std::printf("starter: %zu bytes, byte sum %llu\n", bytes.size(),
                static_cast<unsigned long long>(checksum.byteSum));
    return WriteFile(folder / "VelmoraORL.exe", bytes.data(), bytes.size()) &&
           WriteFile(folder / "checksumdata.csd", record, sizeof record) &&
           WriteText(folder / "orl.ini", banners);
}

// Swaps the finished tree in for OUT, so a failed run leaves an earlier tree as it was.
bool PutInPlace(const fs::path& staging, const fs::path& out) {
    std::error_code ec;
    fs::path old = out;
    old += ".old";
    fs::remove_all(old, ec);
    if (fs::exists(out)) fs::rename(out, old, ec);
    if (ec) return Fail("cannot move " + out.string() + " aside");
    fs::rename(staging, out, ec);
    if (ec) {
        fs::rename(old, out, ec);
        return Fail("cannot put the tree at " + out.string());
    }
    fs::remove_all(old, ec);
    return true;
}

}  // namespace

// "--sign", "--expires" and "--delegation" at argv[i]; true when it was one of them.
bool SigningOption(int argc, char** argv, int& i, SigningOptions& signing, bool* bad) {
    std::string option = argv[i];
    if (option != "--sign" && option != "--expires" && option != "--delegation") return false;
    if (i + 1 >= argc) {
        *bad = true;
        return true;
    }
    std::string value = argv[++i];
    if (option == "--sign") signing.keyFile = value;
    if (option == "--delegation") signing.delegationFile = value;
    if (option == "--expires") {
        char* end = nullptr;
        signing.expiresDays = std::strtoll(value.c_str(), &end, 10);
        *bad = *end != '\0' || signing.expiresDays <= 0 || signing.expiresDays > 3650;
    }
    return true;
}

int KeyCommand(int argc, char** argv) {
    std::string command = argv[1];
    if (command == "keygen" && argc == 3) return MakeKeyPair(argv[2]) ? 0 : 1;
    if (command == "delegate" && argc == 7 && std::strcmp(argv[4], "--expires") == 0) {
        char* end = nullptr;
        long long days = std::strtoll(argv[5], &end, 10);
        if (*end != '\0' || days <= 0 || days > 3650) return Fail("--expires takes a number of days"), 2;
        return MakeDelegation(argv[2], argv[3], days, argv[6]) ? 0 : 1;
    }
    if (command == "resign" && argc >= 3) {
        SigningOptions signing;
        bool bad = false;
        for (int i = 3; i < argc; ++i)
            if (!SigningOption(argc, argv, i, signing, &bad)) bad = true;
        if (bad || signing.keyFile.empty()) return std::fputs(kUsage, stderr), 2;
        return Resign(argv[2], signing) ? 0 : 1;
    }
    std::fputs(kUsage, stderr);
    return 2;
}

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    for (const char* command : {"keygen", "delegate", "resign"})
        if (std::strcmp(argv[1], command) == 0) return KeyCommand(argc, argv);
    fs::path out = argv[1];
    std::map<std::string, EditionPlan> plans;
    std::string edition = "orvin";
    fs::path starter, orlIni, web;
    SigningOptions signing;
    auto wants = [&](int i, int n) {
        if (i + n < argc) return true;
        std::fprintf(stderr, "orl-publish: %s needs %d value%s\n", argv[i], n, n > 1 ? "s" : "");
        return false;
    };
    for (int i = 2; i < argc; ++i) {
        std::string option = argv[i];
        bool bad = false;
        if (SigningOption(argc, argv, i, signing, &bad)) {
            if (bad) return std::fputs(kUsage, stderr), 2;
        } else if (option == "--edition" && wants(i, 1)) {
            edition = argv[++i];
            bool known = false;
            for (const Edition& e : kEditions) known = known || edition == e.name;
            if (!known) return Fail("unknown edition " + edition + " (orvin or kessa)"), 2;
        } else if (option == "--release" && wants(i, 2)) {
            Release release{argv[i + 1], argv[i + 2]};
            i += 2;
            if (!IsPublishableVersion(release.version))
                return Fail("version " + release.version + ": use up to 11 letters, digits, '.', '-' or '_'"),
                       2;
            if (!fs::is_directory(release.folder))
                return Fail(release.folder.string() + " is not a folder"), 2;
            for (const Release& r : plans[edition].releases)
                if (r.version == release.version) return Fail("version " + r.version + " given twice"), 2;
            plans[edition].releases.push_back(release);
        } else if (option == "--full" && wants(i, 1)) {
            plans[edition].full = argv[++i];
        } else if (option == "--starter" && wants(i, 1)) {
            starter = argv[++i];
        } else if (option == "--orl-ini" && wants(i, 1)) {
            orlIni = argv[++i];
        } else if (option == "--web" && wants(i, 1)) {
            web = argv[++i];
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (starter.empty()) return Fail("--starter is needed"), 2;
    if (plans.empty()) return Fail("no --release given"), 2;
    for (auto& [name, plan] : plans) {
        if (plan.releases.empty()) return Fail("edition " + name + " has no release"), 2;
        if (plan.full.empty()) plan.full = plan.releases.back().version;
    }

    fs::path staging = out;
    staging += ".publishing";
    std::error_code ec;
    fs::remove_all(staging, ec);
    fs::create_directories(staging, ec);
    if (ec) return Fail("cannot create " + staging.string()), 1;
    bool ok = true;
    if (!web.empty()) {
        fs::copy(web, staging, fs::copy_options::recursive, ec);
        if (ec) ok = Fail("cannot copy " + web.string() + ": " + ec.message());
    }
    for (const Edition& e : kEditions)
        if (ok && plans.count(e.name)) ok = PublishEdition(staging, e, plans[e.name]);
    ok = ok && PublishStarter(staging, starter, orlIni);
    if (ok && !signing.keyFile.empty()) {
        for (const Edition& e : kEditions) {
            if (!ok || !plans.count(e.name)) continue;
            SigningScope scope{e.name, e.updateDir, {e.updateDir, e.fullDir}, {}};
            for (const Release& r : plans[e.name].releases) scope.releases.push_back({r.version, r.folder});
            ok = SignScope(staging, out, scope, signing);
        }
        ok = ok && SignScope(staging, out, {"starter", "orl/KOR/Starter", {"orl/KOR/Starter"}, {}}, signing);
    }
    ok = ok && PutInPlace(staging, out);
    if (!ok) {
        fs::remove_all(staging, ec);
        return 1;
    }
    std::printf("published to %s\n", out.c_str());
    return 0;
}
