#include "mailbridge/review/ReviewedSend.h"
