/* Crypto library for device files. Every entry point returns 0 on success. */
#ifndef ORVLIBCRYPT_H
#define ORVLIBCRYPT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ORVLIBCRYPT_API __attribute__((visibility("default")))

enum {
    ORVCRYPT_OK = 0,
    ORVCRYPT_CANNOT_OPEN = 1,
    ORVCRYPT_NOT_ENCRYPTED = 2,
    ORVCRYPT_DAMAGED = 3,      /* truncated, tampered or written with another key */
    ORVCRYPT_BUFFER_SMALL = 4,
    ORVCRYPT_CANNOT_WRITE = 5,
    ORVCRYPT_NOT_READY = 6,
    ORVCRYPT_BAD_ARGUMENT = 7
};

/* 1 once the library has initialised its cipher. */
ORVLIBCRYPT_API int isLibraryReady(void);
/* Bytes readFile needs for the content of an encrypted file. */
ORVLIBCRYPT_API int getReadFileBufferSize(const char *path, uint32_t *size);
/* *size: buffer capacity in, content length out. */
ORVLIBCRYPT_API int readFile(const char *path, unsigned char *buffer, uint32_t *size);
/* Stores content encrypted; the file is replaced only when complete. */
ORVLIBCRYPT_API int writeFile(const char *path, const unsigned char *content, uint32_t size);
/* Reads an encrypted or a plain file; *encrypted tells which it was. */
ORVLIBCRYPT_API int readFileAndEncryptionDetection(const char *path, unsigned char *buffer, uint32_t *size,
                                                   int *encrypted);

#ifdef __cplusplus
}
#endif

#endif
