/* The two GetVersions side by side: the plug-in's, called through the
 * pointer type plugin.h gives a host, and kernel32's. */
#ifndef PUMPWIRE_TESTS_HEADER_ORDER_H
#define PUMPWIRE_TESTS_HEADER_ORDER_H

/* The plug-in's version text from its GetVersion export; NULL without it.
   dll is the HMODULE LoadLibraryW gave. */
const char* PluginVersion(void* dll);

/* kernel32's GetVersion: major in the low byte, minor in the next. */
unsigned long WindowsVersion(void);

#endif
