//=============================================================================
// Actor: anything that can be placed in a level.
//=============================================================================
class Actor extends Object
	abstract
	native;

var(Movement) const vector Location;
var(Movement) const rotator Rotation;
var(Display) float DrawScale;
var Actor Owner;

event Tick( float DeltaTime );
event Touch( Actor Other );
event Destroyed();
