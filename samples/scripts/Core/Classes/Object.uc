//=============================================================================
// Object: the root of every class. It names no parent.
//=============================================================================
class Object
	native
	abstract;

var native const int ObjectIndex;
var native const name Name;
var native const Object Outer;
var native const class Class;

native final function string GetPropertyText( string PropName );
native final function SetPropertyText( string PropName, string PropValue );

event BeginState();
event EndState();
