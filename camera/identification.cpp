// The library's identification text. Nothing reads it: it sits in the constant data so that
// tools looking at the file can tell the release.
extern "C" __attribute__((used)) const char kerrisIdentification[] =
    "IDENT{TYPE:Release#VERSION: 1-03#BUILD: SDK#}";
