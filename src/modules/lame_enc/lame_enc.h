/* The C interface of lame_enc.so: the six entry points and the version-1
 * configuration record (331 bytes, little-endian, packed). Shared by the
 * module and by the MP3 encoder that loads it at run time. */
#pragma once
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t BE_ERR;
typedef uintptr_t HBE_STREAM;

#define BE_ERR_SUCCESSFUL 0u
#define BE_ERR_INVALID_FORMAT 1u
#define BE_ERR_INVALID_FORMAT_PARAMETERS 2u
#define BE_ERR_NO_MORE_HANDLES 3u
#define BE_ERR_INVALID_HANDLE 4u
#define BE_ERR_BUFFER_TOO_SMALL 5u

#define BE_CONFIG_LAME 256u
#define BE_MP3_MODE_STEREO 0
#define BE_MP3_MODE_MONO 3

/* Preset codes of the record. */
#define LQP_EXTREME 8
#define LQP_ABR 11
#define LQP_CBR 12
#define LQP_MEDIUM 13

#pragma pack(push, 1)
typedef struct BE_CONFIG {
  uint32_t dwConfig;         /* 0   BE_CONFIG_LAME */
  uint32_t dwStructVersion;  /* 4   1 */
  uint32_t dwStructSize;     /* 8   331 */
  uint32_t dwSampleRate;     /* 12  Hz */
  uint32_t dwReSampleRate;   /* 16  0: library decides */
  int32_t nMode;             /* 20  BE_MP3_MODE_* */
  uint32_t dwBitrate;        /* 24  kbit/s: CBR rate, VBR minimum */
  uint32_t dwMaxBitrate;     /* 28  kbit/s, 0: none */
  int32_t nPreset;           /* 32  LQP_* */
  uint32_t dwMpegVersion;    /* 36  1: MPEG-1 */
  uint32_t dwPsyModel;       /* 40 */
  uint32_t dwEmphasis;       /* 44 */
  int32_t bPrivate;          /* 48 */
  int32_t bCRC;              /* 52 */
  int32_t bCopyright;        /* 56 */
  int32_t bOriginal;         /* 60 */
  int32_t bWriteVBRHeader;   /* 64  Xing/LAME info frame */
  int32_t bEnableVBR;        /* 68 */
  int32_t nVBRQuality;       /* 72 */
  uint32_t dwVbrAbr_bps;     /* 76  bit/s */
  int32_t nVbrMethod;        /* 80 */
  int32_t bNoRes;            /* 84 */
  int32_t bStrictIso;        /* 88 */
  uint16_t nQuality;         /* 92 */
  uint8_t btReserved[237];   /* 94 */
} BE_CONFIG;
#pragma pack(pop)

typedef BE_ERR (*BEINITSTREAM)(BE_CONFIG* config, uint32_t* samples, uint32_t* buffer_size,
                               HBE_STREAM* stream);
typedef BE_ERR (*BEENCODECHUNK)(HBE_STREAM stream, uint32_t samples, const int16_t* pcm,
                                uint8_t* output, uint32_t* output_bytes);
typedef BE_ERR (*BEDEINITSTREAM)(HBE_STREAM stream, uint8_t* output, uint32_t* output_bytes);
typedef BE_ERR (*BECLOSESTREAM)(HBE_STREAM stream);
typedef BE_ERR (*BEWRITEINFOTAG)(HBE_STREAM stream, const char* path);
typedef BE_ERR (*BEWRITEINFOTAGW)(HBE_STREAM stream, const char16_t* path);

BE_ERR beInitStream(BE_CONFIG* config, uint32_t* samples, uint32_t* buffer_size,
                    HBE_STREAM* stream);
/* samples: 16-bit values (all channels), at most the count beInitStream gave. */
BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t samples, const int16_t* pcm, uint8_t* output,
                     uint32_t* output_bytes);
BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t* output, uint32_t* output_bytes);
BE_ERR beCloseStream(HBE_STREAM stream);
/* Rewrites the info frame inside the closed file (after any ID3v2 tag). */
BE_ERR beWriteInfoTag(HBE_STREAM stream, const char* path);
BE_ERR beWriteInfoTagW(HBE_STREAM stream, const char16_t* path);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(BE_CONFIG) == 331, "the version-1 record is 331 bytes");
#endif
