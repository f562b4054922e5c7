/* example: the smallest correct stage plug-in, a starting point for your
 * own. It draws one bitmap, "back1.bmp" from the stage's folder, filling
 * the view at depth 0 (stageview's projection), and holds every rule that
 * stagecheck tries. Copy this folder, rename the files and the LIBRARY line
 * of the .def file, build, and run stagecheck on your DLL.
 *
 * Plain C11; the interface is stage_plugin.h. Nothing is allocated: the
 * plug-in keeps the record CreateStage was given and the loaded surface. */
#include <stdint.h>
#include <string.h>

#include "stage_plugin.h"

static StageObject *currentStage; /* the record of the latest CreateStage */
static Surface *background;       /* null until load, and after release */

/* Where the bitmap goes: the view's full width and height at depth 0. */
static const StageQuad backgroundQuad = {-2.0f, 2.0f, -8.0f / 3.0f, 8.0f / 3.0f,
                                         0.0f};

/* "DIRECTORY\FILE" into a 256-byte buffer; 0 when it does not fit, and the
 * layer then stays absent rather than loading a cut path. */
static int BuildPath(char path[256], const char *directory, const char *file) {
  size_t d = strlen(directory), f = strlen(file);
  if (d + 1 + f + 1 > 256) return 0;
  memcpy(path, directory, d);
  path[d] = '\\';
  memcpy(path + d + 1, file, f + 1);
  return 1;
}

/* A surface size as whole pixels. Sizes that are not a number or do not fit
 * give 0: converting those to an integer is undefined in C. */
static int32_t Pixels(float size) {
  return size >= 0.0f && size < 2147483648.0f ? (int32_t)size : 0;
}

/* The host and drawParam are read through the record at every call: the
 * host may change them between calls. */
static void STAGE_CDECL Load(void) {
  char path[256];
  const char *directory = currentStage->host->GetPath(2);
  background = BuildPath(path, directory, "back1.bmp")
                   ? currentStage->host->LoadSurface(path, 0)
                   : NULL;
}

static void STAGE_CDECL Draw(void) {
  if (!background) return; /* before load, or no back1.bmp */
  SourceRect whole = {0, 0, Pixels(background->width),
                      Pixels(background->height)};
  currentStage->host->DrawSurface(background, whole, backgroundQuad,
                                  currentStage->drawParam);
}

static void STAGE_CDECL Release(void) {
  if (background) currentStage->host->ReleaseSurface(background);
  background = NULL;
}

static void STAGE_CDECL Aux(void) {}

/* Exported through example.def by its plain name, as the game looks it
 * up. */
int32_t STAGE_CDECL StageInfo(StageInfoRecord *info) {
  info->infoValue = STAGE_INFO_VALUE;
  return 1;
}

/* Exported through example.def by its plain name. Writes the four callbacks
 * and nothing else of the record, and calls no service. */
int32_t STAGE_CDECL CreateStage(StageObject *stage) {
  currentStage = stage;
  stage->draw = Draw;
  stage->load = Load;
  stage->release = Release;
  stage->aux = Aux;
  return 1;
}
