// Opening the settings file for reading.
#pragma once

#include <cstdio>

// Opens path (UTF-8) for reading in binary mode, so that line ends reach the
// parser as they are in the file. Only a regular file counts: a FIFO or a
// device would block the event thread or feed it forever. Null otherwise.
FILE* OpenSettingsForReading(const char* path);
