// Build-time tool: packs the template workbook's XML parts into one .xlsx file.
//
//   orvik_pack_workbook <output.xlsx> <directory> <part>...
//
// The parts are stored in the order given (so "[Content_Types].xml" can come first, as
// spreadsheet programs write it), deflated, with one fixed modification time so that the
// embedded template does not change from one build to the next.
#include <zip.h>

#include <cstdio>
#include <string>

namespace {

int Fail(const char *what, const std::string &name, zip_t *archive)
{
    std::fprintf(stderr, "orvik_pack_workbook: %s %s: %s\n", what, name.c_str(), archive ? zip_strerror(archive) : "");
    if (archive)
        zip_discard(archive);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: orvik_pack_workbook <output.xlsx> <directory> <part>...\n");
        return 2;
    }
    const std::string output = argv[1];
    const std::string directory = argv[2];
    std::remove(output.c_str());

    int error = 0;
    zip_t *archive = zip_open(output.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) {
        std::fprintf(stderr, "orvik_pack_workbook: cannot create %s (libzip error %d)\n", output.c_str(), error);
        return 1;
    }
    const time_t fixedTime = 1262304000; // 2010-01-01
    for (int i = 3; i < argc; ++i) {
        const std::string part = argv[i];
        const std::string path = directory + "/" + part;
        zip_source_t *source = zip_source_file(archive, path.c_str(), 0, -1);
        if (!source)
            return Fail("cannot read", path, archive);
        const zip_int64_t index = zip_file_add(archive, part.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            return Fail("cannot add", part, archive);
        }
        if (zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_DEFLATE, 9) != 0
            || zip_file_set_mtime(archive, zip_uint64_t(index), fixedTime, 0) != 0)
            return Fail("cannot set the entry properties of", part, archive);
    }
    if (zip_close(archive) != 0)
        return Fail("cannot write", output, archive);
    return 0;
}
