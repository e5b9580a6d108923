#include "rfid/rfidcard.h"

RfidCard::~RfidCard() = default;
