// Symbol visibility for libmetashelf. Everything is hidden by default; the
// classes and functions a host may call are marked METASHELF_API.
#ifndef METASHELF_EXPORT_H_
#define METASHELF_EXPORT_H_

#if defined(_WIN32)
#if defined(METASHELF_BUILDING)
#define METASHELF_API __declspec(dllexport)
#else
#define METASHELF_API __declspec(dllimport)
#endif
#else
#define METASHELF_API __attribute__((visibility("default")))
#endif

#endif  // METASHELF_EXPORT_H_
