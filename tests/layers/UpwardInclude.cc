// Built as part of the platform layer: it must not see a header of a layer above.
#include LAYER_PROBE_HEADER
