#include "ByteOrder.h"
