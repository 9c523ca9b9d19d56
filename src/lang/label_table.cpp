#include "lang/label_table.h"

LabelTable etiqueta;
