# Build, test and run pelvane. On a fresh machine: `make demo` and `make test`.
SHELL := /bin/bash
.SHELLFLAGS := -euo pipefail -c
.DEFAULT_GOAL := build

ROOT := $(CURDIR)
VENV := $(ROOT)/.venv
VPY := $(VENV)/bin/python
PYTHON314 ?= /usr/local/bin/python3.14
# Python 3.13 for `py313-smoke`: PY313 when given, else the first of these places that runs
# Python 3.13: python3.13 on PATH, where the system or a source build installs it, a prefix laid
# out as provisioning lays out 3.14, and the caller's own pyenv versions.
PY313 ?=
PY313_PLACES = python3.13 /usr/local/bin/python3.13 /usr/bin/python3.13 \
               /opt/python3.13/usr/bin/python3.13 /opt/python3.13/bin/python3.13 \
               $(wildcard $(or $(PYENV_ROOT),$(HOME)/.pyenv)/versions/3.13*/bin/python3.13)
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60
# A target that skips its work says so on a line of its own and, when `.ci/run` gives this file,
# adds the line to it, so that CI reports the stage as skipped rather than passed.
SKIPPED_LOG ?= /dev/null
, := ,

# Tools installed into the virtual environment (ninja, maybe cmake) come first.
export PATH := $(VENV)/bin:$(PATH)

# Everything the installed module is built from; a change here reinstalls it.
# Folders are listed too, so that a removed file also counts as a change.
MODULE_INPUTS := $(shell find src python -not -path '*/__pycache__*' -not -name '*.pyc' 2>/dev/null) \
                 CMakeLists.txt pyproject.toml

CMAKE_GENERATOR := -G Ninja
# The engine is compiled in several build trees (module, tests, sanitizers, fuzzing, 3.13);
# identical compilations are served from the compiler cache.
ifneq ($(shell command -v ccache 2>/dev/null),)
export CMAKE_CXX_COMPILER_LAUNCHER := ccache
endif
# Every tree but the fuzzers' is compiled by one compiler called by one name (make's own CXX,
# g++, unless the caller names another): the cache tells compilers apart by the name they are
# called by, and the package build would otherwise take the name Python was built with
# (x86_64-linux-gnu-g++) and CMake its own (c++).
export CXX
# The newest clang with the fuzzer runtime; clang 14 lacks what std::expected needs.
CLANGXX ?= $(firstword $(foreach v,21 20 19 18 17 16,$(shell command -v clang++-$(v) 2>/dev/null)) \
                       $(shell command -v clang++ 2>/dev/null))

.PHONY: build provision test cpp-test asan-test portable-test fuzz-smoke py313-smoke demo bench clean \
        distclean format format-check lint

provision:
	@bash scripts/provision-deps.sh
	@bash scripts/provision-python.sh

# The virtual environment and the tools the package build needs (installed once).
# The linter and formatter is pinned: a newer one may hold other rules.
PY_TOOLS := pytest pytest-timeout pytest-xdist scikit-build-core ninja ruff==0.17.6
# A hung test fails after this many seconds instead of stalling the run.
TEST_TIMEOUT ?= 600

$(VENV)/.tools-installed: scripts/provision-python.sh Makefile
	@if [ -x "$(VPY)" ] && ! "$(VPY)" -c 'import sys; assert sys.version_info[:2] == (3, 14)' 2>/dev/null; then \
	    echo "recreating $(VENV): its interpreter no longer works"; rm -rf "$(VENV)"; fi
	@[ -x "$(VPY)" ] || { bash scripts/provision-python.sh && $(PYTHON314) -m venv "$(VENV)"; }
	"$(VPY)" -m pip install -q --disable-pip-version-check $(PY_TOOLS)
	@# scikit-build-core needs CMake >= 3.24; take PyPI's when the machine's is older.
	@if ! cmake --version 2>/dev/null | awk 'NR==1 { split($$3, v, "."); exit !(v[1] > 3 || (v[1] == 3 && v[2] >= 24)) }'; then \
	    "$(VPY)" -m pip install -q --disable-pip-version-check cmake; fi
	@touch $@

# Incremental: no build isolation, and the CMake tree stays in build/wheel. The module's build
# runs JOBS compilers at once (CMake's parallel level, which the package build passes on).
$(VENV)/.pelvane-installed: $(VENV)/.tools-installed $(MODULE_INPUTS)
	@mkdir -p build
	@echo "building the module into $(VENV): a first build compiles all of it, about 2 minutes on 2 cores (more under load); later builds compile only what changed"
	@# Builds started at once in one work tree take turns on build/wheel and .venv.
	CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) flock build/.install.lock "$(VPY)" -m pip install -q --disable-pip-version-check \
	    --no-build-isolation --no-deps --config-settings=build-dir=build/wheel "$(ROOT)"
	@cd /tmp && "$(VPY)" -c 'import pelvane.pelvane_native'
	@touch $@

# Asked first whether the module is up to date (-q runs nothing), so that an up-to-date build
# prints only the line below, not make's own.
build: provision
	@$(MAKE) --no-print-directory -q $(VENV)/.pelvane-installed || \
	    $(MAKE) --no-print-directory $(VENV)/.pelvane-installed
	@echo "pelvane is installed in $(VENV)"

# The engine's GoogleTest suite. The Python-side checks that ctest runs use the virtual
# environment's interpreter and import the installed module, so both suites build it first.
TEST_PYTHON := -DPELVANE_PYTHON_FOR_TESTS=$(VPY)

cpp-test: build
	cmake -S . -B build/cpp $(CMAKE_GENERATOR) -DPELVANE_BUILD_MODULE=OFF -DPELVANE_BUILD_TESTS=ON $(TEST_PYTHON) >/dev/null
	cmake --build build/cpp -j $(JOBS)
	ctest --test-dir build/cpp --output-on-failure --no-tests=error --timeout $(TEST_TIMEOUT) -j $(JOBS)

# The Python tests run in JOBS processes, so that the presentation program converts several
# outputs at once; tests sharing an expensive fixture keep to one process (xdist_group).
test: cpp-test
	"$(VPY)" -m pytest -q --timeout=$(TEST_TIMEOUT) -n $(JOBS) --dist loadgroup

asan-test: build
	cmake -S . -B build/asan $(CMAKE_GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DPELVANE_SANITIZE=ON -DPELVANE_BUILD_MODULE=OFF -DPELVANE_BUILD_TESTS=ON $(TEST_PYTHON) >/dev/null
	cmake --build build/asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ctest --test-dir build/asan --output-on-failure --no-tests=error --timeout $(TEST_TIMEOUT) -j $(JOBS)

# The portable forms alone (PELVANE_PORTABLE: no SSE2 byte scans, no carry-less CRC-32), as a
# processor without them runs the engine: the module and the C++ tests built so in one tree
# (build/portable), the module put first on the Python path from build/portable-python (the
# installed one stays as it is), then the C++ tests and the Python tests against it. The
# presentation program's checks (marker `reader`, three quarters of pytest's time) are left to
# `test`: they open what is written, which the other tests compare byte for byte in both builds.
PORTABLE_PYTHON := $(ROOT)/build/portable-python

portable-test: build
	cmake -S . -B build/portable $(CMAKE_GENERATOR) -DPELVANE_PORTABLE=ON -DPELVANE_BUILD_MODULE=ON \
	    -DPELVANE_BUILD_TESTS=ON -DPython_EXECUTABLE="$(VPY)" $(TEST_PYTHON) >/dev/null
	cmake --build build/portable -j $(JOBS)
	rm -rf "$(PORTABLE_PYTHON)"
	cmake --install build/portable --prefix "$(PORTABLE_PYTHON)" >/dev/null
	cp python/pelvane/__init__.py python/pelvane/pelvane_native.pyi python/pelvane/py.typed \
	    "$(PORTABLE_PYTHON)/pelvane/"
	cd /tmp && PYTHONPATH="$(PORTABLE_PYTHON)" "$(VPY)" -c \
	    'import pelvane.pelvane_native as m; print("portable-test: the Python tests import", m.__file__)'
	PYTHONPATH="$(PORTABLE_PYTHON)" \
	    ctest --test-dir build/portable --output-on-failure --no-tests=error --timeout $(TEST_TIMEOUT) -j $(JOBS)
	PYTHONPATH="$(PORTABLE_PYTHON)" PELVANE_BENCH_REWRITE="$(ROOT)/build/portable/bench_rewrite" \
	    "$(VPY)" -m pytest -q -p no:cacheprovider --timeout=$(TEST_TIMEOUT) -n $(JOBS) --dist loadgroup \
	    -m 'not reader'

# Each fuzz/<name>.cpp runs for FUZZ_SECONDS, seeded from fuzz/corpus/<name> when
# present. New inputs go to build/fuzz/corpus/<name>; the committed seeds stay as they are.
fuzz-smoke: provision
	@targets=$$(for f in fuzz/*.cpp; do if [ -e "$$f" ]; then basename "$$f" .cpp; fi; done); \
	if [ -z "$$targets" ]; then echo "fuzz-smoke: skipped: no fuzz targets in fuzz/" | tee -a "$(SKIPPED_LOG)"; exit 0; fi; \
	if [ -z "$(CLANGXX)" ]; then echo "fuzz-smoke: no clang++ found (run scripts/provision-deps.sh)"; exit 1; fi; \
	CXX="$(CLANGXX)" cmake -S . -B build/fuzz $(CMAKE_GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DPELVANE_FUZZ=ON -DPELVANE_SANITIZE=ON -DPELVANE_BUILD_MODULE=OFF -DPELVANE_BUILD_TESTS=OFF >/dev/null; \
	cmake --build build/fuzz -j $(JOBS); \
	for name in $$targets; do \
	    mkdir -p build/fuzz/corpus/$$name build/fuzz/artifacts; \
	    seeds=""; [ -d fuzz/corpus/$$name ] && seeds=fuzz/corpus/$$name; \
	    dict=""; [ -f fuzz/$$name.dict ] && dict=-dict=fuzz/$$name.dict; \
	    echo "fuzz-smoke: $$name for $(FUZZ_SECONDS) s"; \
	    if ! build/fuzz/$$name -max_total_time=$(FUZZ_SECONDS) -timeout=30 -rss_limit_mb=4096 \
	            -artifact_prefix=build/fuzz/artifacts/$$name- $$dict \
	            build/fuzz/corpus/$$name $$seeds >build/fuzz/$$name.log 2>&1; then \
	        tail -n 60 build/fuzz/$$name.log; echo "fuzz-smoke: $$name FAILED (log: build/fuzz/$$name.log)"; exit 1; \
	    fi; \
	    grep -E '^Done [0-9]+ runs' build/fuzz/$$name.log || tail -n 3 build/fuzz/$$name.log; \
	done

# Build and import the module on Python 3.13, in a throwaway environment.
py313-smoke: provision
	@py=""; \
	for place in $(or $(PY313),$(PY313_PLACES)); do \
	    if "$$place" -c 'import sys; sys.exit(sys.version_info[:2] != (3, 13))' >/dev/null 2>&1; then \
	        py=$$(command -v "$$place"); break; fi; \
	done; \
	if [ -z "$$py" ]; then \
	    echo "py313-smoke: skipped: $(if $(PY313),PY313=$(PY313) does not run Python 3.13,no Python 3.13 found (python3.13 on PATH$(,) in /usr/local/bin$(,) /usr/bin$(,) /opt/python3.13 or pyenv's versions); give one as PY313=<interpreter>)" \
	        | tee -a "$(SKIPPED_LOG)"; exit 0; fi; \
	echo "py313-smoke: $$py"; \
	rm -rf build/py313-venv; \
	"$$py" -m venv build/py313-venv; \
	build/py313-venv/bin/python -m pip install -q --disable-pip-version-check scikit-build-core ninja; \
	CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) PATH="$(ROOT)/build/py313-venv/bin:$$PATH" build/py313-venv/bin/python -m pip install -q \
	    --disable-pip-version-check --no-build-isolation --no-deps \
	    --config-settings=build-dir=build/py313 "$(ROOT)"; \
	cd /tmp && "$(ROOT)/build/py313-venv/bin/python" -c \
	    'import sys, pelvane.pelvane_native as m; print("py313-smoke: Python", sys.version.split()[0], "imports pelvane_native with", len(m.__all__), "functions")'

demo: build
	"$(VPY)" scripts/demo.py

# The C++ of the engine, module, tests, fuzz targets and benchmark tools against .clang-format
# (clang-format 14), and the Python of tests/, bench/ and scripts/ against pyproject.toml's ruff
# settings. `format` rewrites the files; the other two only check them.
CXX_SOURCES = $(shell find src tests fuzz bench \( -name '*.cpp' -o -name '*.hpp' \) | sort)
PY_CHECKED := tests bench scripts
CLANG_FORMAT ?= $(firstword $(shell command -v clang-format-14 clang-format 2>/dev/null))

NO_CLANG_FORMAT = { echo "$@: no clang-format (run scripts/provision-deps.sh)"; exit 1; }

format: $(VENV)/.tools-installed
	@[ -n "$(CLANG_FORMAT)" ] || $(NO_CLANG_FORMAT)
	@echo "clang-format -i: $(words $(CXX_SOURCES)) C++ files"
	@"$(CLANG_FORMAT)" -i $(CXX_SOURCES)
	"$(VENV)/bin/ruff" check --select I --fix -q $(PY_CHECKED)
	"$(VENV)/bin/ruff" format -q $(PY_CHECKED)

format-check: provision
	@[ -n "$(CLANG_FORMAT)" ] || $(NO_CLANG_FORMAT)
	@echo "clang-format --dry-run --Werror: $(words $(CXX_SOURCES)) C++ files"
	@"$(CLANG_FORMAT)" --dry-run --Werror $(CXX_SOURCES)

lint: $(VENV)/.tools-installed
	"$(VENV)/bin/ruff" check $(PY_CHECKED)
	"$(VENV)/bin/ruff" format --check $(PY_CHECKED)

bench: build
	"$(VPY)" bench/run_bench.py
	@# The XML lexer and writer alone: a copy-every-event pass against memcpy of the same buffer.
	cmake -S "$(ROOT)" -B build/bench-tools $(CMAKE_GENERATOR) -DCMAKE_BUILD_TYPE=Release \
	    -DPELVANE_BUILD_MODULE=OFF -DPELVANE_BUILD_TESTS=ON > /dev/null
	cmake --build build/bench-tools --target pelvane_bench_xml > /dev/null
	build/bench-tools/pelvane_bench_xml 5 30

clean:
	rm -rf build
	rm -f $(VENV)/.pelvane-installed

distclean: clean
	rm -rf $(VENV) .pytest_cache .ruff_cache
