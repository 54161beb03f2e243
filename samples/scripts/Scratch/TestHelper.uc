//=============================================================================
// TestHelper: a script kept outside any Classes folder; its package is
// "Unknown".
//=============================================================================
class TestHelper extends Object;

static function Log( string Text );
