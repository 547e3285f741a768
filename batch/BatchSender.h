#pragma once

#include "batch/SendRequest.h"

class FileSystem;
class MailApplication;

// Packs the ticked files, in list order, into consecutive messages: a message closes as soon
// as the sizes of its files reach the limit, and every message opened is sent. Throws Refusal
// when an entry check fails (nothing is created), Failure at the first failing step after
// that; messages sent before it stay sent, the open one is dropped.
void sendBatch(const SendRequest &request, MailApplication &mail, const FileSystem &files);
