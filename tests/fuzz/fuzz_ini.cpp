// The INI reader over any file: it reads, counts and looks up without crashing or leaking, and a
// lookup that succeeds gives a text no longer than the file could hold.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lang/ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char path[] = "/tmp/rq55-fuzz-ini-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return 0;
    if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
    close(fd);
    IniText ini = Ini_New(size % 2);
    if (Ini_ReadFromFile(ini, path) == 0) {
        for (int n = 1; n <= Ini_NumberOfSections(ini); ++n) {
            std::string section;
            if (Ini_NthSectionName(ini, n, section) != 1) std::abort();
            const int items = Ini_NumberOfItems(ini, section);
            for (int item = 0; item < items && item < 64; ++item) {
                char name[8];
                std::snprintf(name, sizeof name, "%04d", item);
                std::string text;
                if (Ini_GetStringCopy(ini, section, name, text) == 1 && text.size() > size) std::abort();
            }
        }
    }
    Ini_Dispose(ini);
    unlink(path);
    return 0;
}
