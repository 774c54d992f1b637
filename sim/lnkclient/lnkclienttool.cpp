// brisca-lnk-client: a second client of brisca-ecu-server for trying things
// by hand, through libLnkClientDll like the application.
//   brisca-lnk-client [--host H] [--port P] lock SECONDS   hold the lock for a while
//   brisca-lnk-client ... read SPACE ADDRESS COUNT          print bytes in hex
//   brisca-lnk-client ... write SPACE ADDRESS HEXBYTES
//   brisca-lnk-client ... servers                           list the active remote servers
// Numbers in decimal or 0x... Exit code 0 done, 1 failed, 2 bad arguments.

#include "lnkclientdll.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {
bool number(const char *text, uint32_t &out)
{
    char *end = nullptr;
    const unsigned long long v = strtoull(text, &end, 0);
    if (!text[0] || *end || v > 0xFFFFFFFFull)
        return false;
    out = uint32_t(v);
    return true;
}

int usage()
{
    fprintf(stderr, "usage: brisca-lnk-client [--host H] [--port P] lock SECONDS | read SPACE ADDRESS COUNT |"
                    " write SPACE ADDRESS HEX | servers\n");
    return 2;
}
} // namespace

int main(int argc, char *argv[])
{
    std::string host = "127.0.0.1";
    uint32_t port = 55162;
    int i = 1;
    for (; i + 1 < argc && strncmp(argv[i], "--", 2) == 0; i += 2) {
        if (strcmp(argv[i], "--host") == 0)
            host = argv[i + 1];
        else if (strcmp(argv[i], "--port") != 0 || !number(argv[i + 1], port))
            return usage();
    }
    if (i >= argc)
        return usage();
    const std::string cmd = argv[i];
    std::vector<uint32_t> n;
    for (int k = i + 1; k < argc && n.size() < 3; ++k) {
        uint32_t v = 0;
        if (cmd == "write" && k == i + 3)
            break;
        if (!number(argv[k], v))
            return usage();
        n.push_back(v);
    }
    if (!lnkObj_openCommunication(host.c_str(), int32_t(port))) {
        fprintf(stderr, "brisca-lnk-client: no server at %s:%u\n", host.c_str(), port);
        return 1;
    }
    uint8_t id = 0;
    if (!lnkObj_GetID("brisca-lnk-client", &id)) {
        fprintf(stderr, "brisca-lnk-client: registration refused\n");
        return 1;
    }
    int rc = 0;
    if (cmd == "lock" && n.size() == 1) {
        lnkObj_SetLock();
        while (!lnkObj_IsMyTurn())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        printf("lock held for %u s\n", n[0]);
        fflush(stdout);
        std::this_thread::sleep_for(std::chrono::seconds(n[0]));
        lnkObj_SetUnlock();
    } else if (cmd == "read" && n.size() == 3) {
        std::vector<uint8_t> buf(n[2]);
        if (n[2] == 0 || !lnkObj_ReadBuffer(n[0], n[1], n[2], 1, buf.data())) {
            fprintf(stderr, "brisca-lnk-client: read failed\n");
            rc = 1;
        } else {
            for (uint32_t k = 0; k < n[2]; ++k)
                printf("%02x%s", buf[k], (k % 32 == 31 || k + 1 == n[2]) ? "\n" : "");
        }
    } else if (cmd == "write" && n.size() == 2 && i + 3 < argc) {
        const std::string hex = argv[i + 3];
        std::vector<uint8_t> bytes;
        for (size_t k = 0; k + 1 < hex.size(); k += 2)
            bytes.push_back(uint8_t(strtoul(hex.substr(k, 2).c_str(), nullptr, 16)));
        if (bytes.empty() || !lnkObj_WriteBufferPV1(n[0], n[1], bytes.data(), uint32_t(bytes.size()), 1)) {
            fprintf(stderr, "brisca-lnk-client: write failed\n");
            rc = 1;
        }
    } else if (cmd == "servers") {
        uint32_t count = 0;
        const char *text = lnkObj_listaServerRemotiAttivi(&count);
        printf("%u: %s\n", count, text);
    } else {
        rc = usage();
    }
    lnkObj_closeCommunication();
    return rc;
}
