# Fuzz targets of the wire, file and archive formats; each checks invariants.
zs_fuzz_target(request_body body_fuzz.cpp zs_protocol)
zs_fuzz_target(proto1_stream proto1_stream_fuzz.cpp zs_protocol zs_net)
zs_fuzz_target(discovery discovery_fuzz.cpp zs_net)
zs_fuzz_target(key_value key_value_fuzz.cpp zs_zebrix)
zs_fuzz_target(job_status job_status_fuzz.cpp zs_zebrix)
zs_fuzz_target(zip_writer zip_fuzz.cpp zs_zip ZLIB::ZLIB)
zs_fuzz_target(proto0_request proto0_fuzz.cpp zs_zebrix)
zs_fuzz_target(proto0_records proto0_records_fuzz.cpp zs_protocol)
