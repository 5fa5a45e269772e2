// The loadable module is the static module library linked whole; this file only gives the
// shared object a translation unit of its own (the exported records live in frame/).
