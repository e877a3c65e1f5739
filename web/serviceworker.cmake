# Writes SITE/sw.js from TEMPLATE: the page's FILES ("|" between them), each with the SHA-256 of
# its contents, and a version made of them all, so that any change to the page installs a new
# worker, which fetches only the files whose contents changed.
string(REPLACE "|" ";" FILES "${FILES}")
set(sums "")
set(SITE_FILES "")
foreach(file IN LISTS FILES)
  file(SHA256 ${SITE}/${file} sum)
  string(APPEND sums "${file} ${sum}\n")
  string(APPEND SITE_FILES "  ['${file}', '${sum}'],\n")
  if(file STREQUAL "index.html")
    # The page's address without a file name is index.html too.
    string(APPEND SITE_FILES "  ['./', '${sum}'],\n")
  endif()
endforeach()
string(SHA256 version "${sums}")
string(SUBSTRING ${version} 0 16 SITE_VERSION)
configure_file(${TEMPLATE} ${SITE}/sw.js @ONLY)
