/* The binary interface between the game host and a stage plug-in.
 *
 * A plug-in is a 32-bit Windows DLL. The host loads it, may call its info
 * export at any time, then calls CreateStage with a StageObject of its own.
 * CreateStage writes four callbacks into that record; from then on the host
 * drives the stage through them: load once, draw once per frame, release once
 * at the end. Everything the plug-in needs from the host comes through the
 * HostServices table the record points to.
 *
 * Ownership: the host owns the StageObject, the HostServices table, every
 * Surface and every string it returns. A plug-in owns only a few global
 * pointers and carries nothing else from one frame to the next.
 *
 * Every frame, draw makes the same calls: which DrawSurface calls it makes
 * and every argument they carry depend only on what load got (the surfaces
 * and their sizes) and on the record's drawParam at that moment. Nothing
 * else may change them: no frame counter, no clock, no input, nothing kept
 * from an earlier frame. So a stage cannot animate; the picture moves only
 * as the host moves its view. (stagecheck's rule frame-repeatable draws
 * three frames and compares them call by call.)
 *
 * Every field is 32 bits wide, little-endian, with no gaps; the offsets in
 * the comments are fixed because host and plug-in are built separately.
 * Usable from C and C++.
 */
#ifndef STAGE_PLUGIN_H
#define STAGE_PLUGIN_H

/* Plug-ins are 32-bit x86 DLLs, and the layouts below hold only there. */
#if !defined(__i386__) && !defined(_M_IX86)
#error \
    "stage_plugin.h: stage plug-ins and their hosts are 32-bit x86 programs; compile for 32-bit x86 (i686-w64-mingw32-gcc, gcc -m32, Visual C++ for x86), not for this target"
#endif

#include <stddef.h>
#include <stdint.h>

/* The plain C calling convention, spelled for each compiler: Windows
 * compilers know __cdecl; 32-bit GCC and Clang elsewhere have only the
 * attribute; on other targets there is one convention and nothing to say. */
#if defined(_WIN32) || defined(_MSC_VER)
#define STAGE_CDECL __cdecl
#elif (defined(__GNUC__) || defined(__clang__)) && defined(__i386__)
#define STAGE_CDECL __attribute__((cdecl))
#else
#define STAGE_CDECL
#endif

#ifdef __cplusplus
#define STAGE_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define STAGE_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* An image owned by the host. Plug-ins read width and height and nothing
 * else; the host keeps its own data in the first 280 bytes and may follow
 * the record with more. */
typedef struct Surface {
  uint8_t hostData[280]; /*   0: the host's own */
  float width;           /* 280: width in pixels */
  float height;          /* 284: height in pixels */
} Surface;

STAGE_STATIC_ASSERT(offsetof(Surface, width) == 280, "Surface.width");
STAGE_STATIC_ASSERT(offsetof(Surface, height) == 284, "Surface.height");
STAGE_STATIC_ASSERT(sizeof(Surface) == 288, "Surface size");

/* The part of a surface to draw, in pixels; passed by value. */
typedef struct SourceRect {
  int32_t left;   /*  0 */
  int32_t top;    /*  4 */
  int32_t right;  /*  8 */
  int32_t bottom; /* 12 */
} SourceRect;

STAGE_STATIC_ASSERT(sizeof(SourceRect) == 16, "SourceRect size");
STAGE_STATIC_ASSERT(offsetof(SourceRect, left) == 0, "SourceRect.left");
STAGE_STATIC_ASSERT(offsetof(SourceRect, top) == 4, "SourceRect.top");
STAGE_STATIC_ASSERT(offsetof(SourceRect, right) == 8, "SourceRect.right");
STAGE_STATIC_ASSERT(offsetof(SourceRect, bottom) == 12, "SourceRect.bottom");

/* Where a surface is drawn, in the host's view coordinates; passed by
 * value. Note the order: vertical bounds first.
 *
 * View coordinates, the contract both plug-ins are written to: x grows to
 * the right, y upward (the source's top row goes to y1, its left column to
 * x0), z away from the eye, which sits at z = -2; a quad
 * is flat at depth z and only quads with z > -2 are in front of the eye.
 * The projection is the host's: the reference host (sdk\stageview.exe)
 * puts (x, y, z) at column 320 + f (x - eyeX) / (z + 2) and row
 * horizon - f (y - eyeY) / (z + 2) of a 640 x 480 frame, f = 240 x zoom,
 * paints far to near (larger z first, equal z in call order) and leaves
 * magenta (255, 0, 255) pixels unpainted. Those three are its choices: the
 * game may place rows differently, paint in call order, or key no colour
 * (or another). Calling DrawSurface far to near gives one picture under
 * both orders. stage-authoring.md in the SDK gives the figures. */
typedef struct StageQuad {
  float y0; /*  0: one vertical bound */
  float y1; /*  4: the other vertical bound */
  float x0; /*  8: one horizontal bound */
  float x1; /* 12: the other horizontal bound */
  float z;  /* 16: depth */
} StageQuad;

STAGE_STATIC_ASSERT(sizeof(StageQuad) == 20, "StageQuad size");
STAGE_STATIC_ASSERT(offsetof(StageQuad, y0) == 0, "StageQuad.y0");
STAGE_STATIC_ASSERT(offsetof(StageQuad, y1) == 4, "StageQuad.y1");
STAGE_STATIC_ASSERT(offsetof(StageQuad, x0) == 8, "StageQuad.x0");
STAGE_STATIC_ASSERT(offsetof(StageQuad, x1) == 12, "StageQuad.x1");
STAGE_STATIC_ASSERT(offsetof(StageQuad, z) == 16, "StageQuad.z");

/* Host services, as plug-ins call them. The results of ReleaseSurface and
 * DrawSurface are never used by a plug-in. */

/* Loads a bitmap. path: NUL-terminated; mode: always 0 from the plug-ins.
 * Null when the bitmap is absent; otherwise valid until ReleaseSurface. */
typedef Surface *(STAGE_CDECL *LoadSurfaceFn)(const char *path, int32_t mode);
/* Frees a surface. Never called with null, never twice for one surface. */
typedef int32_t(STAGE_CDECL *ReleaseSurfaceFn)(Surface *surface);
/* Draws part of a surface at a quad. 44 bytes of arguments on the stack:
 * surface, left, top, right, bottom, y0, y1, x0, x1, z, drawParam. */
typedef int32_t(STAGE_CDECL *DrawSurfaceFn)(Surface *surface, SourceRect source,
                                            StageQuad quad, int32_t drawParam);
/* Kind 2: the directory of this stage's bitmaps, without a trailing
 * separator, valid until load returns. */
typedef const char *(STAGE_CDECL *GetPathFn)(int32_t kind);

/* The host's service table; slots the plug-ins never call are reserved. */
typedef struct HostServices {
  void *reserved0;                 /*  0 */
  void *reserved1;                 /*  4 */
  void *reserved2;                 /*  8 */
  LoadSurfaceFn LoadSurface;       /* 12: slot 3, called from load */
  ReleaseSurfaceFn ReleaseSurface; /* 16: slot 4, called from release */
  void *reserved5;                 /* 20 */
  void *reserved6;                 /* 24 */
  DrawSurfaceFn DrawSurface;       /* 28: slot 7, called from draw */
  GetPathFn GetPath;               /* 32: slot 8, called from load */
} HostServices;

STAGE_STATIC_ASSERT(sizeof(HostServices) == 36, "nine 32-bit slots");
STAGE_STATIC_ASSERT(offsetof(HostServices, LoadSurface) == 12, "slot 3");
STAGE_STATIC_ASSERT(offsetof(HostServices, ReleaseSurface) == 16, "slot 4");
STAGE_STATIC_ASSERT(offsetof(HostServices, DrawSurface) == 28, "slot 7");
STAGE_STATIC_ASSERT(offsetof(HostServices, GetPath) == 32, "slot 8");

/* A stage callback: no argument, no result the host may use. */
typedef void(STAGE_CDECL *StageCallback)(void);

/* The host's record of one stage. Plug-ins use the first seven fields;
 * whatever follows belongs to the host. Keep the record in place for as
 * long as any callback may be called: every callback reads host and
 * drawParam through it afresh. */
typedef struct StageObject {
  uint32_t hostReserved; /*  0: never touched by the plug-in */
  StageCallback draw;    /*  4: set by CreateStage; once per frame, the
                            same calls every frame (see the top) */
  StageCallback load;    /*  8: set by CreateStage; once, before drawing */
  StageCallback release; /* 12: set by CreateStage; once, at the end */
  StageCallback aux;     /* 16: set by CreateStage; does nothing */
  HostServices *host;    /* 20: filled by the host before load */
  int32_t drawParam;     /* 24: passed unchanged to every DrawSurface */
} StageObject;

STAGE_STATIC_ASSERT(sizeof(StageObject) == 28, "seven 32-bit fields");
STAGE_STATIC_ASSERT(offsetof(StageObject, hostReserved) == 0, "field 0");
STAGE_STATIC_ASSERT(offsetof(StageObject, draw) == 4, "field 1");
STAGE_STATIC_ASSERT(offsetof(StageObject, load) == 8, "field 2");
STAGE_STATIC_ASSERT(offsetof(StageObject, release) == 12, "field 3");
STAGE_STATIC_ASSERT(offsetof(StageObject, aux) == 16, "field 4");
STAGE_STATIC_ASSERT(offsetof(StageObject, host) == 20, "field 5");
STAGE_STATIC_ASSERT(offsetof(StageObject, drawParam) == 24, "field 6");

/* The host's info record. The info export writes infoValue only. */
typedef struct StageInfoRecord {
  uint8_t hostData[96]; /*  0: never touched by the plug-in */
  int32_t infoValue;    /* 96: set to 500 by the info export */
} StageInfoRecord;

STAGE_STATIC_ASSERT(offsetof(StageInfoRecord, infoValue) == 96, "infoValue");
STAGE_STATIC_ASSERT(sizeof(StageInfoRecord) == 100, "StageInfoRecord size");

/* The value every info export stores. */
#define STAGE_INFO_VALUE 500

/* Exports, each returning 1: CreateStage and an info export, StageInfo or
 * CharacterInfo. The host finds them by name, undecorated ("CreateStage",
 * never "_CreateStage" or "CreateStage@4"), and calls them as plain C
 * functions (cdecl: the caller removes the argument). It does not look
 * them up by ordinal: those of our DLLs ("stage.dll": CreateStage @1,
 * StageInfo @2; "tessel.dll": CharacterInfo @1, CreateStage @2) are fixed
 * only so that the shipped files stay as they were. */
typedef int32_t(STAGE_CDECL *CreateStageFn)(StageObject *stage);
typedef int32_t(STAGE_CDECL *StageInfoFn)(StageInfoRecord *info);

/* Sizes only hold for the 32-bit boundary these plug-ins live on. */
STAGE_STATIC_ASSERT(sizeof(void *) == 4, "32-bit plug-in interface");

#ifdef __cplusplus
}
#endif

#endif /* STAGE_PLUGIN_H */
