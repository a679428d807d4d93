#include "QuellonEditorApplication.h"

START_JUCE_APPLICATION (QuellonEditorApplication)
