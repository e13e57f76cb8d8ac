#pragma once
namespace plat { void installFontFallbacks(); }
