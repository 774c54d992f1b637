/* File layout: the marker line "ENCRYPTED by ORVLibCrypt.dll\r\n", a 24-byte
 * nonce, then the content under XSalsa20-Poly1305 (secretbox: 16-byte tag
 * followed by the cipher text). The key is built in. */
#include "orvlibcrypt.h"

#include <sodium.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const char marker[] = "ENCRYPTED by ORVLibCrypt.dll";
static const char markerLine[] = "ENCRYPTED by ORVLibCrypt.dll\r\n";

static const unsigned char key[crypto_secretbox_KEYBYTES] = {
    0x5b, 0x1e, 0x93, 0xc4, 0x2a, 0x77, 0x0f, 0xd8, 0x61, 0xb2, 0x4c, 0xe9, 0x15, 0x86, 0x3d, 0xa0,
    0xf7, 0x28, 0x9e, 0x53, 0xcb, 0x04, 0x6a, 0xbd, 0x31, 0xe2, 0x7f, 0x98, 0x0c, 0x45, 0xd6, 0x8b};

static int ready = 0;

__attribute__((constructor)) static void initialise(void)
{
    ready = sodium_init() >= 0;
}

int isLibraryReady(void)
{
    return ready;
}

/* Whole file into a malloc'ed buffer. */
static int slurp(const char *path, unsigned char **data, size_t *size)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return ORVCRYPT_CANNOT_OPEN;
    size_t cap = 1 << 16, len = 0;
    unsigned char *buf = malloc(cap);
    while (buf) {
        size_t n = fread(buf + len, 1, cap - len, f);
        len += n;
        if (len < cap)
            break;
        unsigned char *bigger = realloc(buf, cap * 2);
        if (!bigger) {
            free(buf);
            buf = NULL;
            break;
        }
        buf = bigger;
        cap *= 2;
    }
    int failed = ferror(f);
    fclose(f);
    if (!buf)
        return ORVCRYPT_CANNOT_OPEN;
    if (failed) {
        free(buf);
        return ORVCRYPT_CANNOT_OPEN;
    }
    *data = buf;
    *size = len;
    return ORVCRYPT_OK;
}

/* Offset of the nonce after the marker line, 0 when not encrypted. */
static size_t headerLength(const unsigned char *data, size_t size)
{
    const size_t m = sizeof marker - 1;
    if (size < m || memcmp(data, marker, m) != 0)
        return 0;
    size_t i = m;
    if (i < size && data[i] == '\r')
        ++i;
    if (i < size && data[i] == '\n')
        ++i;
    else
        return 0;
    return i;
}

static int plainLength(const unsigned char *data, size_t size, size_t *header, uint32_t *length)
{
    *header = headerLength(data, size);
    if (*header == 0)
        return ORVCRYPT_NOT_ENCRYPTED;
    const size_t overhead = *header + crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES;
    if (size < overhead || size - overhead > 0xFFFFFFFFu)
        return ORVCRYPT_DAMAGED;
    *length = (uint32_t)(size - overhead);
    return ORVCRYPT_OK;
}

/* Each reader works on the whole file: size only, decrypt, or detect and read. */
enum { READ_SIZE, READ_DECRYPT, READ_DETECT };

static int decrypt(const unsigned char *data, size_t len, unsigned char *buffer, uint32_t *size)
{
    size_t header = 0;
    uint32_t plain = 0;
    int rc = plainLength(data, len, &header, &plain);
    if (rc != ORVCRYPT_OK)
        return rc;
    if (*size < plain) {
        *size = plain;
        return ORVCRYPT_BUFFER_SMALL;
    }
    const unsigned char *nonce = data + header;
    const unsigned char *box = nonce + crypto_secretbox_NONCEBYTES;
    if (crypto_secretbox_open_easy(buffer, box, len - header - crypto_secretbox_NONCEBYTES, nonce, key) != 0) {
        sodium_memzero(buffer, plain);
        return ORVCRYPT_DAMAGED;
    }
    *size = plain;
    return ORVCRYPT_OK;
}

static int copyPlain(const unsigned char *data, size_t len, unsigned char *buffer, uint32_t *size)
{
    if (len > 0xFFFFFFFFu)
        return ORVCRYPT_DAMAGED;
    if (*size < len) {
        *size = (uint32_t)len;
        return ORVCRYPT_BUFFER_SMALL;
    }
    if (len)
        memcpy(buffer, data, len);
    *size = (uint32_t)len;
    return ORVCRYPT_OK;
}

static int readWhole(const char *path, int how, unsigned char *buffer, uint32_t *size, int *encrypted)
{
    unsigned char *data = NULL;
    size_t len = 0;
    int rc = slurp(path, &data, &len);
    if (rc != ORVCRYPT_OK)
        return rc;
    if (how == READ_SIZE) {
        size_t header = 0;
        rc = plainLength(data, len, &header, size);
    } else if (how == READ_DETECT && headerLength(data, len) == 0) {
        *encrypted = 0;
        rc = copyPlain(data, len, buffer, size);
    } else {
        if (encrypted)
            *encrypted = 1;
        rc = decrypt(data, len, buffer, size);
    }
    free(data);
    return rc;
}

int getReadFileBufferSize(const char *path, uint32_t *size)
{
    if (!ready)
        return ORVCRYPT_NOT_READY;
    if (!path || !size)
        return ORVCRYPT_BAD_ARGUMENT;
    return readWhole(path, READ_SIZE, NULL, size, NULL);
}

int readFile(const char *path, unsigned char *buffer, uint32_t *size)
{
    if (!ready)
        return ORVCRYPT_NOT_READY;
    if (!path || !size || (!buffer && *size))
        return ORVCRYPT_BAD_ARGUMENT;
    return readWhole(path, READ_DECRYPT, buffer, size, NULL);
}

int readFileAndEncryptionDetection(const char *path, unsigned char *buffer, uint32_t *size, int *encrypted)
{
    if (!ready)
        return ORVCRYPT_NOT_READY;
    if (!path || !size || !encrypted || (!buffer && *size))
        return ORVCRYPT_BAD_ARGUMENT;
    return readWhole(path, READ_DETECT, buffer, size, encrypted);
}

int writeFile(const char *path, const unsigned char *content, uint32_t size)
{
    if (!ready)
        return ORVCRYPT_NOT_READY;
    if (!path || (!content && size))
        return ORVCRYPT_BAD_ARGUMENT;
    const size_t m = sizeof markerLine - 1;
    const size_t total = m + crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + size;
    unsigned char *out = malloc(total);
    if (!out)
        return ORVCRYPT_CANNOT_WRITE;
    memcpy(out, markerLine, m);
    unsigned char *nonce = out + m;
    randombytes_buf(nonce, crypto_secretbox_NONCEBYTES);
    crypto_secretbox_easy(nonce + crypto_secretbox_NONCEBYTES, content ? content : (const unsigned char *)"",
                          size, nonce, key);

    /* Temporary name next to the target, renamed once written and flushed. */
    size_t plen = strlen(path);
    char *tmp = malloc(plen + 16);
    if (!tmp) {
        free(out);
        return ORVCRYPT_CANNOT_WRITE;
    }
    snprintf(tmp, plen + 16, "%s.tmp%05d", path, (int)(getpid() % 100000));
    int rc = ORVCRYPT_CANNOT_WRITE;
    FILE *f = fopen(tmp, "wb");
    if (f) {
        size_t n = fwrite(out, 1, total, f);
        int ok = n == total && fflush(f) == 0 && fsync(fileno(f)) == 0;
        ok = (fclose(f) == 0) && ok;
        if (ok && rename(tmp, path) == 0)
            rc = ORVCRYPT_OK;
        else
            remove(tmp);
    }
    free(tmp);
    free(out);
    return rc;
}
