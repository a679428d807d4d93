#include "Widgets/SimpleLabel.h"

SimpleLabel::SimpleLabel() = default;

SimpleLabel::~SimpleLabel() = default;
