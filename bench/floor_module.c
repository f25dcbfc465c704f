/* The benchmark's floor: a native no-op behind the same boundary as the
 * engine's `run` (stable ABI of CPython 3.11, METH_FASTCALL | METH_KEYWORDS,
 * two `str` arguments bound positionally or by keyword and read in place as
 * UTF-8). It reads the payload bytes once and answers with a response text
 * prepared beforehand by `prepare`, so a call costs what any engine call must
 * cost before it does any work of its own. */
#define Py_LIMITED_API 0x030B0000
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <string.h>

static char* prepared = NULL;
static Py_ssize_t prepared_size = 0;
/* Where the search of the payload stores its result: the pointer itself is
 * volatile, so the compiler must make the search. */
static const void* volatile sink;

static int read_str(PyObject* obj, const char** data, Py_ssize_t* size) {
    if (!PyUnicode_Check(obj)) {
        PyErr_SetString(PyExc_TypeError, "argument must be str");
        return -1;
    }
    *data = PyUnicode_AsUTF8AndSize(obj, size);
    return *data ? 0 : -1;
}

static PyObject* floor_run(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
    PyObject* slots[2] = {NULL, NULL};
    (void)self;
    if (nargs > 2) {
        PyErr_SetString(PyExc_TypeError, "run() takes 2 positional arguments");
        return NULL;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
    if (kwnames) {
        Py_ssize_t count = PyTuple_Size(kwnames);
        for (Py_ssize_t k = 0; k < count; ++k) {
            Py_ssize_t size = 0;
            const char* name = PyUnicode_AsUTF8AndSize(PyTuple_GetItem(kwnames, k), &size);
            int slot = !name                                              ? -1
                       : size == 7 && memcmp(name, "command", 7) == 0      ? 0
                       : size == 12 && memcmp(name, "payload_json", 12) == 0 ? 1
                                                                          : -1;
            if (slot < 0 || slots[slot]) {
                PyErr_SetString(PyExc_TypeError, "run() got a bad keyword argument");
                return NULL;
            }
            slots[slot] = args[nargs + k];
        }
    }
    if (!slots[0] || !slots[1]) {
        PyErr_SetString(PyExc_TypeError, "run() missing a required argument");
        return NULL;
    }
    const char* command;
    const char* payload;
    Py_ssize_t command_size, payload_size;
    if (read_str(slots[0], &command, &command_size) < 0) return NULL;
    if (read_str(slots[1], &payload, &payload_size) < 0) return NULL;
    /* One pass over the payload: a byte that never occurs in JSON text. */
    sink = memchr(payload, 0x01, (size_t)payload_size);
    return PyUnicode_FromStringAndSize(prepared ? prepared : "", prepared_size);
}

static PyObject* floor_prepare(PyObject* self, PyObject* response) {
    Py_ssize_t size = 0;
    const char* data;
    (void)self;
    if (read_str(response, &data, &size) < 0) return NULL;
    char* copy = PyMem_Malloc(size ? (size_t)size : 1);
    if (!copy) return PyErr_NoMemory();
    memcpy(copy, data, (size_t)size);
    PyMem_Free(prepared);
    prepared = copy;
    prepared_size = size;
    Py_RETURN_NONE;
}

static PyMethodDef floor_methods[] = {
    {"run", (PyCFunction)(void (*)(void))floor_run, METH_FASTCALL | METH_KEYWORDS,
     "run(command, payload_json)\n--\n\n"},
    {"prepare", floor_prepare, METH_O, "prepare(response)\n--\n\n"},
    {NULL, NULL, 0, NULL},
};

static PyModuleDef floor_def = {
    PyModuleDef_HEAD_INIT, "mnemo_bench_floor", "", 0, floor_methods, NULL, NULL, NULL, NULL,
};

PyMODINIT_FUNC PyInit_mnemo_bench_floor(void) { return PyModule_Create(&floor_def); }
