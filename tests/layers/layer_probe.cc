// One header of another layer, included as a file of the probing layer would
// include it: whether it builds is the layer's include path speaking.
#include TREL_PROBE_HEADER
