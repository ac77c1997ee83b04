#include "serial/CSerialCommunication.h"
