// Writes one "<cc>-aggregated.zone" file per country from the legacy country
// database that Debian ships (geoip-database), for the agent's resources.
//
//   palisor-zonegen <GeoIP.dat> <output folder>
//
// Earlier zone files in the folder are replaced; nothing else there is
// touched. Exit status 1, with a message, when the database cannot be read or
// a file cannot be written.

#include "ZoneAggregator.h"

#include <GeoIP.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* kSuffix = "-aggregated.zone";

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool writeZone(const fs::path& folder, const std::string& code, const std::vector<std::string>& lines)
{
    const fs::path target = folder / (code + kSuffix);
    const fs::path partial = folder / ("." + code + kSuffix + ".partial");
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        for (const std::string& line : lines)
            out << line << '\n';
        out.flush();
        if (!out) {
            std::fprintf(stderr, "palisor-zonegen: cannot write %s\n", partial.c_str());
            return false;
        }
    }
    std::error_code error;
    fs::rename(partial, target, error);
    if (error) {
        std::fprintf(stderr, "palisor-zonegen: cannot write %s: %s\n", target.c_str(),
                     error.message().c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: palisor-zonegen <GeoIP.dat> <output folder>\n");
        return 2;
    }
    GeoIP* database = GeoIP_open(argv[1], GEOIP_MEMORY_CACHE | GEOIP_SILENCE);
    if (!database) {
        std::fprintf(stderr, "palisor-zonegen: cannot open the country database %s\n", argv[1]);
        return 1;
    }
    if (GeoIP_database_edition(database) != GEOIP_COUNTRY_EDITION) {
        std::fprintf(stderr, "palisor-zonegen: %s is not an IPv4 country database\n", argv[1]);
        GeoIP_delete(database);
        return 1;
    }

    ZoneAggregator aggregator;
    aggregator.walkAddressSpace([database](uint32_t address) {
        // The library leaves the length unset for 0.0.0.0; 32 steps past it.
        GeoIPLookup found{32};
        const int id = GeoIP_id_by_ipnum_gl(database, address, &found);
        const char* code = id > 0 ? GeoIP_code_by_id(id) : nullptr;
        return ZoneAggregator::Answer{code ? code : "", found.netmask};
    });
    GeoIP_delete(database);

    const fs::path folder = argv[2];
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "palisor-zonegen: cannot make %s: %s\n", folder.c_str(),
                     error.message().c_str());
        return 1;
    }
    // A country the database no longer names must not keep a stale file.
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        if (endsWith(entry.path().filename().string(), kSuffix))
            fs::remove(entry.path(), error);
    }
    for (const auto& [code, lines] : aggregator.zones()) {
        if (!writeZone(folder, code, lines))
            return 1;
    }
    return 0;
}
