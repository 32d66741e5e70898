# The fuzz targets and the libraries each links: tests/fuzz/<name>_fuzz.cpp, built as fuzz_<name>
# by tests/fuzz/ (clang build) and replayed over its kept inputs by tests/fuzz_replay/.
set(VANTREL_FUZZ_TARGETS
  # name           libraries
  "recordset       vantrel_platform"
  "reg_file        vantrel_platform"
  "dpkg_status     vantrel_platform_linux"
  "rpm_query       vantrel_platform_linux"
  "os_release      vantrel_platform_linux"
  "printers_conf   vantrel_platform_linux"
  "sound_cards     vantrel_platform_linux"
  "instr_query     vantrel_platform"
  "date_text       vantrel_client"
  "service_query   vantrel_dataservice_lib"
  "service_request vantrel_dataservice_lib"
)
