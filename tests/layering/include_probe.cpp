// Compiled by the layering tests with one library's include roots and
// CLOAKWISE_PROBE_HEADER set to a header of another folder.
#include CLOAKWISE_PROBE_HEADER
