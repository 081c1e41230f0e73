// Any text as the ranking file. A ranking that is taken is whole: every city
// named, its values in range, cleanest first and ranked 1 to n. One that is
// refused says why, and names a line the file has.
#include "fuzz/fuzzcheck.h"
#include "server/content/rankingtable.h"

#include <cstddef>
#include <cstdint>

namespace {

void checkCities(const RankingTable& table) {
    FUZZ_CHECK(!table.cities.isEmpty());
    for (qsizetype i = 0; i < table.cities.size(); ++i) {
        const RankingTable::City& city = table.cities[i];
        FUZZ_CHECK(city.rank == i + 1);
        FUZZ_CHECK(!city.name.isEmpty() && city.name == city.name.trimmed());
        FUZZ_CHECK(city.aqi >= 0 && city.aqi <= 999 && city.pm25 >= 0 && city.pm25 <= 9999);
        FUZZ_CHECK(i == 0 || table.cities[i - 1].aqi <= city.aqi);
        FUZZ_CHECK(!RankingTable::levelFor(city.aqi).colour.isEmpty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray json(reinterpret_cast<const char*>(data), qsizetype(size));
    RankingTable::Error error;
    const std::optional<RankingTable> table = RankingTable::parse(json, &error);
    if (table) {
        checkCities(*table);
        return 0;
    }
    FUZZ_CHECK(!error.message.isEmpty());
    FUZZ_CHECK(error.line >= 0 && error.line <= json.count('\n') + 1);
    return 0;
}
