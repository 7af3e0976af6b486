// The whole public interface of the core protocol library in one include.
#ifndef LIBQVP_CORE_H
#define LIBQVP_CORE_H

#include <libqvp/Array.h>
#include <libqvp/AttrTable.h>
#include <libqvp/BaseType.h>
#include <libqvp/Byte.h>
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/Constructor.h>
#include <libqvp/DAS.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <libqvp/ErrorCode.h>
#include <libqvp/EventHandler.h>
#include <libqvp/Float32.h>
#include <libqvp/Float64.h>
#include <libqvp/GetOpt.h>
#include <libqvp/Grid.h>
#include <libqvp/Int16.h>
#include <libqvp/Int32.h>
#include <libqvp/Marshaller.h>
#include <libqvp/Scalar.h>
#include <libqvp/Sequence.h>
#include <libqvp/SignalHandler.h>
#include <libqvp/Str.h>
#include <libqvp/Structure.h>
#include <libqvp/Type.h>
#include <libqvp/UInt16.h>
#include <libqvp/UInt32.h>
#include <libqvp/Url.h>
#include <libqvp/VarIterator.h>
#include <libqvp/XDRFileMarshaller.h>
#include <libqvp/XDRMarshaller.h>
#include <libqvp/XDRStreamMarshaller.h>
#include <libqvp/escaping.h>
#include <libqvp/next_index.h>
#include <libqvp/version.h>
#include <libqvp/visit_scalar.h>
#include <libqvp/write_all.h>
#include <libqvp/xdr_size.h>

#endif  // LIBQVP_CORE_H
