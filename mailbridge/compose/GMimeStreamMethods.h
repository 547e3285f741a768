#pragma once

#include "mailbridge/compose/GMimeHeaders.h"

// Fills the method slots of a GMimeStream subclass from the functions streamRead,
// streamWrite, … streamSubstream that the class's own file defines; both of our stream
// classes implement the whole set.
#define FERRYMAIL_SET_STREAM_METHODS(streamClass)                                                  \
    do {                                                                                           \
        GMimeStreamClass *methods = (streamClass);                                                 \
        methods->read = streamRead;                                                                \
        methods->write = streamWrite;                                                              \
        methods->flush = streamFlush;                                                              \
        methods->close = streamClose;                                                              \
        methods->eos = streamEos;                                                                  \
        methods->reset = streamReset;                                                              \
        methods->seek = streamSeek;                                                                \
        methods->tell = streamTell;                                                                \
        methods->length = streamLength;                                                            \
        methods->substream = streamSubstream;                                                      \
    } while (false)
