# Writes SITE/sw.js from TEMPLATE: the list of the page's FILES ("|" between them) and a version
# made of their contents, so that any change to the page replaces the files browsers keep.
string(REPLACE "|" ";" FILES "${FILES}")
set(sums "")
set(SITE_FILES "")
foreach(file IN LISTS FILES)
  file(SHA256 ${SITE}/${file} sum)
  string(APPEND sums "${file} ${sum}\n")
  string(APPEND SITE_FILES "  '${file}',\n")
endforeach()
string(SHA256 version "${sums}")
string(SUBSTRING ${version} 0 16 SITE_VERSION)
configure_file(${TEMPLATE} ${SITE}/sw.js @ONLY)
