# Writes one placeholder file per name into DATA_DIR (cmake -P script).
#   -DDATA_DIR=... -DFILES=a;b;c
file(MAKE_DIRECTORY ${DATA_DIR})
foreach(f ${FILES})
  file(WRITE ${DATA_DIR}/${f} "placeholder ${f}\n")
endforeach()
