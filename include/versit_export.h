/*
 * versit_export.h - how the versit library marks what it exports.
 *
 * Every public function is declared with VERSIT_API between
 * VERSIT_BEGIN_DECLS and VERSIT_END_DECLS, so the headers read the same
 * from C and C++ and the shared library exports exactly those names.
 * Programs that link the static library define VERSIT_STATIC (the CMake
 * target versit::versit_static does so for them).
 */
#ifndef VERSIT_EXPORT_H
#define VERSIT_EXPORT_H

#if defined(VERSIT_STATIC)
#define VERSIT_API /* linked into the program itself */
#elif defined(_WIN32)
#if defined(VERSIT_BUILDING)
/* The DLLs' module-definition files, written from the export lists, say
 * what each exports: the same objects serve libversit and the interop
 * library, which must not export libversit's functions again. */
#define VERSIT_API
#else
#define VERSIT_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define VERSIT_API __attribute__((visibility("default")))
#else
#define VERSIT_API
#endif

#ifdef __cplusplus
#define VERSIT_BEGIN_DECLS extern "C" {
#define VERSIT_END_DECLS }
#else
#define VERSIT_BEGIN_DECLS
#define VERSIT_END_DECLS
#endif

#endif /* VERSIT_EXPORT_H */
